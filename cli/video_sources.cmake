# The sources of video through FFmpeg's libraries (Linux), for the tool and for the fuzz build,
# whose format table holds the video entries too.
set(FXAA_VIDEO_SOURCES)
foreach(source video_encoder video_encoder_choice video_frame_index video_join video_libav
               video_mirror video_muxer video_pixels video_reader video_sink video_source
               video_stream_copy video_writer)
  list(APPEND FXAA_VIDEO_SOURCES "${CMAKE_CURRENT_LIST_DIR}/formats/${source}.cpp")
endforeach()
