# Warnings for our own code: every target of ours calls ps_warnings().
function(ps_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
