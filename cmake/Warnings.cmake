# Warnings are set per target through this interface library, never globally.
add_library(pyrolith_warnings INTERFACE)
target_compile_options(pyrolith_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wold-style-cast -Werror=return-type)
if(PYROLITH_WERROR)
  target_compile_options(pyrolith_warnings INTERFACE -Werror)
endif()
