# SPDX-License-Identifier: GPL-3.0-or-later
# The receiver's audio: DTMF decoding (SpanDSP) and a busy detector by level, captured with
# GStreamer into an appsink. Included from link/CMakeLists.txt after tempovox_link is defined.
include(FeatureSummary)

option(TEMPOVOX_WITH_SPANDSP "Decode DTMF and detect a busy channel from the receiver's audio" ON)
add_feature_info(ReceiverAudio TEMPOVOX_WITH_SPANDSP
                 "DTMF decoding and busy-by-level detection from the receiver's audio (SpanDSP, GStreamer appsink)")

if(TEMPOVOX_WITH_SPANDSP)
    pkg_check_modules(SPANDSP REQUIRED IMPORTED_TARGET spandsp)
    pkg_check_modules(GSTREAMER_APP REQUIRED IMPORTED_TARGET gstreamer-1.0>=1.22 gstreamer-app-1.0>=1.22)
    target_sources(tempovox_link PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/DtmfDecoder.h ${CMAKE_CURRENT_LIST_DIR}/DtmfDecoder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ReceiverAudio.h ${CMAKE_CURRENT_LIST_DIR}/ReceiverAudio.cpp
    )
    target_link_libraries(tempovox_link PRIVATE tempovox_media PkgConfig::SPANDSP PkgConfig::GSTREAMER_APP)
    # Lets the program and the tests know the receiver's audio is built in.
    target_compile_definitions(tempovox_link PUBLIC TEMPOVOX_WITH_SPANDSP)
endif()
