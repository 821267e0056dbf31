# One interface target that every library and program of the project links,
# so that warnings and sanitizer flags are set in one place.
add_library(wp_options INTERFACE)
target_compile_options(wp_options INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2>)
target_include_directories(wp_options INTERFACE ${PROJECT_SOURCE_DIR})
if(WP_WERROR)
  target_compile_options(wp_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()
