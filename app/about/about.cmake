# SPDX-License-Identifier: GPL-3.0-or-later
# The About box's animated picture is drawn at build time and compiled into tempovox_app.
# Include after tempovox_app is defined. The picture is redrawn only when its script changes.
find_program(TEMPOVOX_CONVERT NAMES convert DOC "ImageMagick's convert, which draws the About box's picture")
if(NOT TEMPOVOX_CONVERT)
    message(FATAL_ERROR "ImageMagick's convert draws the About box's picture: install the Debian package imagemagick")
endif()

set(TEMPOVOX_ABOUT_DIR ${CMAKE_CURRENT_BINARY_DIR}/about)
set(TEMPOVOX_ABOUT_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/make-about-gif.sh)
add_custom_command(
    OUTPUT ${TEMPOVOX_ABOUT_DIR}/about.gif
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TEMPOVOX_ABOUT_DIR}
    COMMAND sh ${TEMPOVOX_ABOUT_SCRIPT} ${TEMPOVOX_CONVERT} ${TEMPOVOX_ABOUT_DIR}/about.gif
    DEPENDS ${TEMPOVOX_ABOUT_SCRIPT}
    COMMENT "Drawing the About box's animated picture"
    VERBATIM)

# The resource list must exist when CMake runs, since Qt's macro reads it then; file(CONFIGURE)
# leaves it untouched when unchanged, so rcc does not rerun on every configure.
file(CONFIGURE OUTPUT ${TEMPOVOX_ABOUT_DIR}/about.qrc CONTENT [[<!DOCTYPE RCC>
<RCC version="1.0">
    <qresource prefix="/about">
        <file>about.gif</file>
    </qresource>
</RCC>
]])
# Compiled as resource "about": the box calls Q_INIT_RESOURCE(about), since a static library's
# resources are not registered by themselves.
qt_add_resources(TEMPOVOX_ABOUT_RCC_SOURCES ${TEMPOVOX_ABOUT_DIR}/about.qrc)
target_sources(tempovox_app PRIVATE ${TEMPOVOX_ABOUT_RCC_SOURCES})
