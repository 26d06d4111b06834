# The tool's readers and writers of images and videos: one source list and one set of libraries,
# for the tool (cli/) and for the fuzz build (fuzz/), which instruments the same code.

# The format table (formats/), every still-picture format (formats/stills/), and the entries of
# the video containers (video/).
set(FXAA_IMAGE_IO_SOURCES)
foreach(source image frames formats/registry
               formats/stills/png formats/stills/exr formats/stills/exr_header_check
               formats/stills/jpeg formats/stills/tiff formats/stills/tiff_expansion
               formats/stills/dpx formats/stills/tga formats/stills/bmp formats/stills/webp
               formats/stills/jpeg2000 formats/stills/sgi formats/stills/netpbm formats/stills/qoi
               video/video_format video/transport_stream video/mxf video/decode/video_frame_ledger)
  list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/${source}.cpp")
endforeach()
if(WIN32)
  foreach(source system_win video/video_unavailable formats/stills/still_codec_unavailable)
    list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/${source}.cpp")
  endforeach()
else()
  list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/system_posix.cpp")
  # Video and the pictures of libavcodec's image codecs through FFmpeg's libraries (Linux); the
  # Windows build says that they need it.
  foreach(source libav/libav formats/stills/still_codec
                 video/video_containers video/video_muxer video/video_pixels
                 video/decode/video_source video/decode/video_reader video/decode/video_frame_index
                 video/encode/video_sink video/encode/video_writer video/encode/video_encoder
                 video/encode/video_encoder_choice
                 video/copy/video_mirror video/copy/video_stream_copy video/copy/video_join)
    list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/${source}.cpp")
  endforeach()
endif()

# Links `target` with the libraries those sources use: the host runtime's sample arithmetic and
# number formatting, and the file formats' own. The Windows build finds the ones
# scripts/build-windows-deps.sh cross-built.
function(fxaa_link_image_io target)
  target_link_libraries(${target} PUBLIC fxaa_host_runtime)
  find_package(PNG REQUIRED)
  find_package(OpenEXR CONFIG REQUIRED)
  find_package(TIFF REQUIRED)
  find_package(JPEG REQUIRED)
  target_link_libraries(${target} PUBLIC PNG::PNG OpenEXR::OpenEXR TIFF::TIFF JPEG::JPEG)
  if(WIN32)
    # There libtiff is a static archive: the libraries of its codecs must follow it.
    find_package(ZLIB REQUIRED)
    set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES JPEG::JPEG ZLIB::ZLIB)
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
    target_link_libraries(${target} PUBLIC PkgConfig::FFMPEG)
  endif()
endfunction()
