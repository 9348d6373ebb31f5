# SPDX-License-Identifier: GPL-3.0-or-later
# The hamlib link back-end ([LINK] BACKEND=hamlib), included from link/CMakeLists.txt after the
# tempovox_link target exists. Without hamlib the program still builds; the factory then says
# that this back-end is not built in.
include(FeatureSummary)
option(TEMPOVOX_WITH_HAMLIB "Build the hamlib link back-end (needs libhamlib-dev)" ON)

set(_tempovox_hamlib_found OFF)
if(TEMPOVOX_WITH_HAMLIB)
    find_package(PkgConfig REQUIRED)
    # rigerror2 and rig_get_conf2 arrived in 4.5.
    pkg_check_modules(HAMLIB QUIET IMPORTED_TARGET hamlib>=4.5)
    if(HAMLIB_FOUND)
        set(_tempovox_hamlib_found ON)
    else()
        message(WARNING "TEMPOVOX_WITH_HAMLIB is ON but pkg-config finds no hamlib >= 4.5 "
                        "(Debian: apt-get install libhamlib-dev); building without the hamlib link back-end")
    endif()
endif()

# For tests/, which is configured later and only builds the hamlib tests when this is ON.
set(TEMPOVOX_HAVE_HAMLIB ${_tempovox_hamlib_found} CACHE INTERNAL "The hamlib link back-end is built in")

if(TEMPOVOX_HAVE_HAMLIB)
    target_sources(tempovox_link PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/HamlibLink.h
        ${CMAKE_CURRENT_LIST_DIR}/HamlibLink.cpp)
    target_link_libraries(tempovox_link PRIVATE PkgConfig::HAMLIB)
    target_compile_definitions(tempovox_link PUBLIC TEMPOVOX_HAVE_HAMLIB)
    message(STATUS "hamlib link back-end: on (hamlib ${HAMLIB_VERSION})")
else()
    message(STATUS "hamlib link back-end: off")
endif()

add_feature_info(hamlib-link TEMPOVOX_HAVE_HAMLIB
    "[LINK] BACKEND=hamlib: keys the transmitter and reads the squelch through libhamlib")
