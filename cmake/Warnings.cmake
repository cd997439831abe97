# Warnings for our own targets only; third-party headers come in as system includes.
function(zav_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-missing-field-initializers)
endfunction()
