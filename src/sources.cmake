# Every source file of the show, by folder under src/, named once for the two
# builds that compile them: the desktop's (src/CMakeLists.txt, one static library
# per folder) and the browser's (web/CMakeLists.txt, one WebAssembly program).
#   *_sources          both builds
#   *_desktop_sources  the desktop only (SDL2, FFmpeg, libpng, the command line)
#   *_web_sources      the browser only
# Vector variants are name_sse2.cpp and name_avx2.cpp: the desktop builds both on
# x86-64, the browser the SSE2 ones for WebAssembly SIMD.

set(gf_common_sources
  cpu_features.cpp frame_globals.cpp random.cpp status.cpp trig.cpp)

set(gf_effects_sources
  flash_analysis.cpp flash_limit.cpp noise_snow.cpp primitives.cpp primitives_avx2.cpp primitives_sse2.cpp
  swirl.cpp swirl_avx2.cpp swirl_sse2.cpp zoom_blur.cpp zoom_blur_avx2.cpp zoom_blur_sse2.cpp)

set(gf_raycast_sources
  ray_blocks.cpp ray_blocks_avx2.cpp ray_blocks_sse2.cpp ray_trace.cpp ray_trace_avx2.cpp ray_trace_sse2.cpp
  tunnel_camera.cpp)

set(gf_mesh_sources
  chunk_reader.cpp mesh_object.cpp wireframe.cpp)

# The clock stands apart: the effects use it without the platform's libraries.
set(gf_clock_sources clock.cpp)
set(gf_platform_sources
  image_loader.cpp module_check.cpp music.cpp note_scheduler.cpp web/audio_timeline.cpp)
set(gf_platform_desktop_sources
  display.cpp frame_files.cpp gif_clip.cpp keys.cpp music_output.cpp output_file.cpp progress.cpp quiet_stderr.cpp
  video_encoder.cpp window_geometry.cpp window_icon.cpp yuv_convert.cpp)
set(gf_platform_web_sources
  web/web_music_output.cpp)

set(gf_driver_sources
  beat_state.cpp capture_benchmark.cpp capture_platform.cpp data_files.cpp demo.cpp effect_ops.cpp
  library_platform.cpp show_state.cpp timeline.cpp)
set(gf_driver_desktop_sources
  capture.cpp desktop_platform.cpp options.cpp program.cpp)
set(gf_driver_web_sources
  web/web_platform.cpp web/web_main.cpp)
