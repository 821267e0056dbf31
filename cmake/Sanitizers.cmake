if(WP_SANITIZE)
  target_compile_options(wp_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(wp_options INTERFACE -fsanitize=address,undefined)
endif()

# Coverage for the fuzzers in every library, not only in the targets.
if(WP_FUZZ)
  target_compile_options(wp_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
