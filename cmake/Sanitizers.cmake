# ZAV_SANITIZE=address,undefined or ZAV_SANITIZE=thread instruments every target.
if(ZAV_SANITIZE)
  add_compile_options(-fsanitize=${ZAV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${ZAV_SANITIZE})
endif()
# Fuzzing instruments all code for coverage; the fuzz targets themselves link the driver.
if(ZAV_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
