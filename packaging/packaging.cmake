# SPDX-License-Identifier: GPL-3.0-or-later
# Install rules and the Debian package. Include at the end of the root CMakeLists.txt, after
# the tempovox target exists.
#
# The program looks for its voices and help pages beside its own executable (resolved through
# symbolic links), so everything it reads lives in one private folder, lib/tempovox, and
# bin/tempovox is only a link to it.

set(TEMPOVOX_PRIVATE_DIR lib/tempovox)
set(TEMPOVOX_ICON_SIZES 48 64 128 256)
# Who answers for the package and where it lives on the web. Placeholders until the project
# has its own address; a distributor sets them with -D.
set(TEMPOVOX_MAINTAINER "Tempovox developers <tempovox@example.org>"
    CACHE STRING "The Debian package's maintainer, as \"Name <address>\"")
set(TEMPOVOX_HOMEPAGE "https://tempovox.example.org"
    CACHE STRING "The project's web page, without a trailing /; screenshots lie under it")
# Never changes once published: software centres know the program by it.
set(TEMPOVOX_APPSTREAM_ID org.example.tempovox)

install(TARGETS tempovox RUNTIME DESTINATION ${TEMPOVOX_PRIVATE_DIR})

# Relative, so that the link works under any prefix and inside an unpacked package.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging/bin)
file(CREATE_LINK ../${TEMPOVOX_PRIVATE_DIR}/tempovox ${CMAKE_BINARY_DIR}/packaging/bin/tempovox SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/packaging/bin/tempovox DESTINATION bin)

# Only the clips: a folder the generator left half made (hidden, beside them) is not shipped.
install(DIRECTORY ${CMAKE_BINARY_DIR}/WavFiles/US_Kate ${CMAKE_BINARY_DIR}/WavFiles/Español
                  ${CMAKE_BINARY_DIR}/WavFiles/brasil
        DESTINATION ${TEMPOVOX_PRIVATE_DIR}/WavFiles
        FILES_MATCHING PATTERN "*.wav" PATTERN "*.mp3")

# The About box opens README.md and docs/voices.md; the rest is there for the operator.
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${TEMPOVOX_PRIVATE_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/voices.md ${CMAKE_SOURCE_DIR}/docs/link-protocol.md
              ${CMAKE_SOURCE_DIR}/docs/operator-guide.md ${CMAKE_SOURCE_DIR}/docs/web.md
        DESTINATION ${TEMPOVOX_PRIVATE_DIR}/docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screenshots DESTINATION ${TEMPOVOX_PRIVATE_DIR}/docs
        FILES_MATCHING PATTERN "*.png")

install(FILES ${CMAKE_CURRENT_LIST_DIR}/tempovox.service DESTINATION lib/systemd/user)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tempovox.desktop DESTINATION share/applications)

# The changelog's first entry is the release: its version must be the project's, and its date
# dates the manual page, so that a rebuild of the same release gives the same files.
set(tempovox_changelog_source ${CMAKE_CURRENT_LIST_DIR}/changelog.in)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${tempovox_changelog_source})
file(STRINGS ${tempovox_changelog_source} tempovox_changelog_lines)
list(GET tempovox_changelog_lines 0 tempovox_changelog_head)
if(NOT tempovox_changelog_head MATCHES "^tempovox \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog.in begins with '${tempovox_changelog_head}': "
                        "add an entry for version ${PROJECT_VERSION} at its top")
endif()
set(tempovox_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
foreach(line IN LISTS tempovox_changelog_lines)
    if(line MATCHES "^ -- .*  [A-Za-z]+, ([0-9]+) ([A-Za-z]+) ([0-9]+) ")
        set(TEMPOVOX_MAN_DATE "${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3}")
        list(FIND tempovox_months "${CMAKE_MATCH_2}" month)
        math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
        string(LENGTH "${month}" digits)
        if(digits EQUAL 1)
            set(month "0${month}")
        endif()
        set(TEMPOVOX_RELEASE_DATE "${CMAKE_MATCH_3}-${month}-${CMAKE_MATCH_1}")
        break()
    endif()
endforeach()
if(NOT TEMPOVOX_MAN_DATE OR TEMPOVOX_RELEASE_DATE MATCHES "-00-")
    message(FATAL_ERROR "packaging/changelog.in: its first entry has no dated trailer line")
endif()

# Debian wants the changelog and the manual page compressed at the highest level, without a
# time stamp in the header.
find_program(TEMPOVOX_GZIP NAMES gzip REQUIRED)
set(tempovox_doc_dir ${CMAKE_BINARY_DIR}/packaging/doc)
configure_file(${tempovox_changelog_source} ${tempovox_doc_dir}/changelog @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tempovox.1.in ${tempovox_doc_dir}/tempovox.1 @ONLY)
set(tempovox_compressed_docs)
foreach(doc changelog tempovox.1)
    add_custom_command(
        OUTPUT ${tempovox_doc_dir}/${doc}.gz
        COMMAND ${TEMPOVOX_GZIP} -9nf -k ${tempovox_doc_dir}/${doc}
        DEPENDS ${tempovox_doc_dir}/${doc}
        COMMENT "Compressing ${doc}"
        VERBATIM)
    list(APPEND tempovox_compressed_docs ${tempovox_doc_dir}/${doc}.gz)
endforeach()
add_custom_target(tempovox_docs ALL DEPENDS ${tempovox_compressed_docs})
install(FILES ${tempovox_doc_dir}/tempovox.1.gz DESTINATION share/man/man1)
# Software centres read this beside the desktop entry.
configure_file(${CMAKE_CURRENT_LIST_DIR}/tempovox.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${TEMPOVOX_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${TEMPOVOX_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${tempovox_doc_dir}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION share/doc/tempovox)

# The icon is drawn at build time, like the About box's picture.
find_program(TEMPOVOX_CONVERT NAMES convert DOC "ImageMagick's convert, which draws the pictures")
if(NOT TEMPOVOX_CONVERT)
    message(FATAL_ERROR "ImageMagick's convert draws the icon: install the Debian package imagemagick")
endif()
set(tempovox_icon_dir ${CMAKE_BINARY_DIR}/packaging/icons)
set(tempovox_icons)
foreach(size IN LISTS TEMPOVOX_ICON_SIZES)
    list(APPEND tempovox_icons ${tempovox_icon_dir}/${size}x${size}/tempovox.png)
    install(FILES ${tempovox_icon_dir}/${size}x${size}/tempovox.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_command(
    OUTPUT ${tempovox_icons}
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make-icon.sh ${TEMPOVOX_CONVERT} ${tempovox_icon_dir}
            ${TEMPOVOX_ICON_SIZES}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-icon.sh
    COMMENT "Drawing the application icon"
    VERBATIM)
add_custom_target(tempovox_icon ALL DEPENDS ${tempovox_icons})

# The Debian package: `cmake --build build --target package`, or `cpack -G DEB` in build/.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tempovox)
set(CPACK_PACKAGE_VENDOR "Tempovox developers")
set(CPACK_PACKAGE_CONTACT "${TEMPOVOX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "talking clock for amateur-radio stations")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_THREADS 0)

set(CPACK_DEBIAN_PACKAGE_NAME tempovox)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TEMPOVOX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is its first line; CPack indents these lines and dots the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tempovox runs beside a station's radio link and announces the local time over
the air: on the full hour, at the quarters and at the half hour as chosen, on
request by a DTMF code, or at the press of a button. It keys the transmitter
through a local socket that repeater controllers and link software connect to.

English, Spanish and Portuguese voices are included. The window follows the
user's language in English and Spanish, and shows its original Portuguese
captions otherwise.")
# Libraries come from dpkg-shlibdeps; the elements the player builds its chain from are
# plugins, which no library link reveals.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base (>= 1.22), gstreamer1.0-plugins-good (>= 1.22)")
# alsasink and alsasrc, for naming the radio's sound card directly; pulsesink, the desktop's own
# output under PulseAudio or PipeWire; Qt's own translations, for the message boxes' buttons in
# Spanish.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-alsa, gstreamer1.0-pulseaudio, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "alsa-utils, pulseaudio-utils, socat")

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

include(CPack)
