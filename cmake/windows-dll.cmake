# Settings of the Windows DLL, included by the top-level CMakeLists.txt when
# the target is Windows (the mingw-w64 cross build, cmake --preset windows).
#
# - quillmar-ranvique.dll, without the lib prefix, beside its import library
#   quillmar-ranvique.lib (a GNU-format import archive that MinGW's ld and
#   LLVM's lld-link read) and quillmar-ranvique.def (the module-definition file:
#   `lib /def:quillmar-ranvique.def /machine:x64` makes a native MSVC one).
# - The C and C++ runtimes of the toolchain are linked in (-static): the
#   decoder's thread-local failure text uses the compiler's emulated-TLS
#   helper, which a plain -shared link takes from libgcc_s_seh-1.dll. The DLL
#   then imports from KERNEL32.dll and msvcrt.dll only, which every Windows
#   system has.
# - printf-family formatting comes from the mingw-w64 runtime compiled into the
#   DLL (__USE_MINGW_ANSI_STDIO), not from msvcrt.dll: it rounds %.2f to the
#   nearest with ties to even and knows %llu, on every Windows version, where
#   msvcrt.dll's own printf rounds ties away from zero.
# - The entry point is the runtime's DllMainCRTStartup (it sets up the
#   runtime and, at thread exit, frees the thread-local failure texts) calling
#   the toolchain's default DllMain, which only returns TRUE: the library has
#   no start-up or shut-down work of its own.
set_target_properties(quillmar-ranvique PROPERTIES
  PREFIX ""
  IMPORT_PREFIX ""
  IMPORT_SUFFIX ".lib")
if(MINGW)
  target_compile_definitions(quillmar-ranvique PRIVATE __USE_MINGW_ANSI_STDIO=1)
  target_link_options(quillmar-ranvique PRIVATE
    -static
    -Wl,--no-undefined
    "-Wl,--output-def,$<TARGET_FILE_DIR:quillmar-ranvique>/quillmar-ranvique.def")
endif()
