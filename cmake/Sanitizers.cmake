# ZAV_SANITIZE=address,undefined or ZAV_SANITIZE=thread instruments every target.
if(ZAV_SANITIZE)
  add_compile_options(-fsanitize=${ZAV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${ZAV_SANITIZE})
endif()
