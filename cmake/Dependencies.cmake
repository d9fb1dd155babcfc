# Third-party libraries, all from the set-up script's prefix.
find_package(jsoncpp CONFIG REQUIRED)
find_package(pugixml CONFIG REQUIRED)
# Debian's libz-mingw-w64-dev: inflating the skin archive. Linked statically:
# the program must not need a zlib1.dll beside it.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# OpenSSL, static, from the set-up script's prefix: libtorrent's hashing and
# TLS, and HTTPS for the blocking URL client. The system libraries it needs
# come after it, as the static libcrypto wants.
set(OPENSSL_ROOT_DIR ${KORVANE_DEPS})
set(OPENSSL_USE_STATIC_LIBS ON)
find_package(OpenSSL REQUIRED)

add_library(httplib INTERFACE)
target_include_directories(httplib SYSTEM INTERFACE ${KORVANE_DEPS}/include)
target_compile_definitions(httplib INTERFACE CPPHTTPLIB_OPENSSL_SUPPORT)
target_link_libraries(httplib INTERFACE OpenSSL::SSL OpenSSL::Crypto ws2_32 crypt32)

# libtorrent's package finds Boost through these; Boost is seen only through
# its own folder so the host's /usr/include never leaks into the build.
set(Boost_INCLUDE_DIR ${KORVANE_DEPS}/boost-include)
set(Boost_NO_BOOST_CMAKE ON)
find_package(LibtorrentRasterbar CONFIG REQUIRED)

# GoogleTest from Debian's sources, built with this toolchain.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
