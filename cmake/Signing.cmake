# Authenticode signing of what the player runs: the program and the kernel
# library it carries. The builder gives a code-signing certificate and its
# private key (PEM or DER, the key without a pass phrase):
#
#   make test KORVANE_SIGN_CERT=/path/cert.pem KORVANE_SIGN_KEY=/path/key.pem
#
# and, optionally, a timestamp server, so the signature stays valid after the
# certificate expires. Without a certificate the build is unsigned.
set(KORVANE_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM or DER); empty builds unsigned")
set(KORVANE_SIGN_KEY "" CACHE FILEPATH "Private key of the code-signing certificate")
set(KORVANE_SIGN_TIMESTAMP "" CACHE STRING "RFC 3161 timestamp server's URL; empty signs without a timestamp")

set(KORVANE_SIGNING OFF)
if(KORVANE_SIGN_CERT OR KORVANE_SIGN_KEY)
    if(NOT KORVANE_SIGN_CERT OR NOT KORVANE_SIGN_KEY)
        message(FATAL_ERROR "Signing needs both KORVANE_SIGN_CERT and KORVANE_SIGN_KEY")
    endif()
    foreach(file IN ITEMS "${KORVANE_SIGN_CERT}" "${KORVANE_SIGN_KEY}")
        if(NOT IS_ABSOLUTE "${file}" OR NOT EXISTS "${file}")
            message(FATAL_ERROR "Signing: '${file}' is not an existing file given by its full path")
        endif()
    endforeach()
    find_program(KORVANE_OSSLSIGNCODE osslsigncode REQUIRED)
    set(KORVANE_SIGNING ON)
endif()

# Said once for each change between a signed and an unsigned build, not at
# every configure.
if(NOT "${KORVANE_SIGNING_SAID}" STREQUAL "${KORVANE_SIGNING}")
    if(KORVANE_SIGNING)
        message(NOTICE "Signing the program and the kernel library with ${KORVANE_SIGN_CERT}")
    else()
        message(NOTICE "This build is unsigned: set KORVANE_SIGN_CERT and KORVANE_SIGN_KEY to sign it")
    endif()
    set(KORVANE_SIGNING_SAID "${KORVANE_SIGNING}" CACHE INTERNAL "")
endif()

# The description Windows shows beside the signature is stored as ASCII:
# a name with other characters would show garbled, so it is left out and
# Windows shows the file's name instead.
set(KORVANE_SIGN_ARGUMENTS -certs "${KORVANE_SIGN_CERT}" -key "${KORVANE_SIGN_KEY}" -h sha256
    -i "https://${KORVANE_GAME_SITE_HOST}")
if(KORVANE_PRODUCT_NAME MATCHES "^[ -~]+$")
    list(APPEND KORVANE_SIGN_ARGUMENTS -n "${KORVANE_PRODUCT_NAME}")
endif()
if(KORVANE_SIGN_TIMESTAMP)
    list(APPEND KORVANE_SIGN_ARGUMENTS -ts "${KORVANE_SIGN_TIMESTAMP}")
endif()

# A new certificate or key at the same place signs again.
set(KORVANE_SIGN_INPUTS)
if(KORVANE_SIGNING)
    set(KORVANE_SIGN_INPUTS "${KORVANE_SIGN_CERT}" "${KORVANE_SIGN_KEY}")
endif()

# The commands that sign `file` in place, for a custom command; none when
# the build is unsigned.
function(korvane_sign_commands out file)
    set(commands)
    if(KORVANE_SIGNING)
        set(commands
            COMMAND ${CMAKE_COMMAND} -E rm -f "${file}.signed"
            COMMAND ${KORVANE_OSSLSIGNCODE} sign ${KORVANE_SIGN_ARGUMENTS} -in "${file}" -out "${file}.signed"
            COMMAND ${CMAKE_COMMAND} -E rename "${file}.signed" "${file}")
    endif()
    set(${out} ${commands} PARENT_SCOPE)
endfunction()

# Signs the target's file after every link.
function(korvane_sign_target target)
    korvane_sign_commands(commands "$<TARGET_FILE:${target}>")
    if(commands)
        add_custom_command(TARGET ${target} POST_BUILD ${commands} VERBATIM)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KORVANE_SIGN_INPUTS})
    endif()
endfunction()
