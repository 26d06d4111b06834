# The tool's readers and writers of images and videos: one source list and one set of libraries,
# for the tool (cli/) and for the fuzz build (fuzz/), which instruments the same code.

# The format table, every image format, and what they share.
set(FXAA_IMAGE_IO_SOURCES)
foreach(source image frames formats/registry formats/png formats/exr formats/exr_header_check
               formats/jpeg formats/tiff formats/tiff_expansion formats/transport_stream
               formats/video_format formats/video_frame_ledger formats/mxf formats/dpx formats/tga
               formats/bmp formats/webp formats/jpeg2000 formats/sgi formats/netpbm formats/qoi)
  list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/${source}.cpp")
endforeach()
if(WIN32)
  list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/system_win.cpp"
                                    "${CMAKE_CURRENT_LIST_DIR}/formats/video_unavailable.cpp"
                                    "${CMAKE_CURRENT_LIST_DIR}/formats/still_codec_unavailable.cpp")
else()
  list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/system_posix.cpp")
  # Video and the pictures of libavcodec's image codecs through FFmpeg's libraries (Linux); the
  # Windows build says that they need it.
  foreach(source still_codec video_containers video_encoder video_encoder_choice
                 video_frame_index video_join video_libav video_mirror video_muxer video_pixels
                 video_reader video_sink video_source video_stream_copy video_writer)
    list(APPEND FXAA_IMAGE_IO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/formats/${source}.cpp")
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
