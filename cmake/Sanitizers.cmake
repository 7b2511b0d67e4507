# One switch for AddressSanitizer + UndefinedBehaviorSanitizer over the whole build, so that
# the core, the programs and the tests all carry the same instrumentation.
if(PYROLITH_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
