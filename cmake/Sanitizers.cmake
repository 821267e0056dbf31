if(WP_SANITIZE)
  target_compile_options(wp_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(wp_options INTERFACE -fsanitize=address,undefined)
endif()
