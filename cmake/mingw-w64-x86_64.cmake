# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, which std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BQ_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BQ_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BQ_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BQ_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BQ_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static build: the .exe needs only the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Unicode Win32 calls, and nothing before Windows 7.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Tests run under Wine.
find_program(BQ_WINE NAMES wine64 wine)
if(BQ_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BQ_WINE})
endif()

# pkg-config must not hand the build machine's own libraries to the target.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${BQ_MINGW_TRIPLET}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# CLI11 and nlohmann-json are header-only: the build machine's copies serve the
# target too. They are reached through a folder of links holding only them, so
# that no other header of the build machine ever gets onto the include path.
set(BQ_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(link include/nlohmann include/CLI share/cmake/nlohmann_json share/cmake/CLI11)
  if(NOT EXISTS ${BQ_HOST_HEADERS}/${link})
    get_filename_component(parent ${BQ_HOST_HEADERS}/${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK /usr/${link} ${BQ_HOST_HEADERS}/${link} SYMBOLIC)
  endif()
endforeach()
set(nlohmann_json_DIR ${BQ_HOST_HEADERS}/share/cmake/nlohmann_json CACHE PATH "")
set(CLI11_DIR ${BQ_HOST_HEADERS}/share/cmake/CLI11 CACHE PATH "")
