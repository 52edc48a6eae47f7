# Compile and link settings of the installer's own code: small, no C runtime, no exceptions,
# ANSI Win32 only, runs on Windows 95 and NT 4.0.
set(KAVLIN_PRODUCT_CXX_FLAGS
  -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
  -ffunction-sections -fdata-sections -fno-stack-protector -fno-ident -fno-threadsafe-statics
  -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
set(KAVLIN_PRODUCT_DEFINES WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400 _WIN32_IE=0x0400)

# Applies the product's compile settings to a library or executable of the installer.
function(kavlin_product_target target)
  target_compile_options(${target} PRIVATE ${KAVLIN_PRODUCT_CXX_FLAGS})
  target_compile_definitions(${target} PRIVATE ${KAVLIN_PRODUCT_DEFINES})
endfunction()
