# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made by CPack from the installed layout (`make package`, which
# configures a build of its own for the /usr prefix).

# What Debian wants beside the program: the copyright file, and the changelog and man
# page compressed as gzip -9n makes them (no name or time stamp inside).
foreach(doc changelog tonvik.1)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${doc})
    if(doc STREQUAL "tonvik.1")
        set(source ${CMAKE_BINARY_DIR}/tonvik.1)
    endif()
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/${doc}.gz
        COMMAND gzip -9n -c ${source} > ${CMAKE_BINARY_DIR}/${doc}.gz
        DEPENDS ${source})
endforeach()
add_custom_target(compressed_docs ALL
    DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_BINARY_DIR}/tonvik.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/tonvik.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonvik)
set(CPACK_PACKAGE_VENDOR "The Tonvik developers")
set(CPACK_PACKAGE_CONTACT "The Tonvik developers <developers@tonvik.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ear trainer for musicians")
set(CPACK_PACKAGE_DESCRIPTION
    "Tonvik plays melodies, intervals, chords and scales through a General MIDI
synthesiser and asks you to recognise them. Tick the items to practise, press
New, listen and answer; in test mode Tonvik says whether you were right and
keeps your score. It plays through its built-in FluidSynth synthesiser or an
external MIDI device, and takes answers from a MIDI keyboard too.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries from the binary; a General MIDI sound font and the way from ALSA's
# default device to the sound server, which it finds at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's SQLite driver is a plugin and aubio (the voice answers) is loaded when first
# listened to: dpkg-shlibdeps sees neither.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fluid-soundfont-gm | sf2-soundfont-gm, libqt6sql6-sqlite, libaubio5 (>= 0.4.9)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libasound2-plugins | pipewire-alsa")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_CURRENT_SOURCE_DIR})
include(CPack)
