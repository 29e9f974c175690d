# The core's sources: file readers, scene model, value tables, maths,
# diagnostics, the load sequence. No GL and no display among them, so the
# core builds and tests anywhere; the fuzz build compiles the same list with
# the sanitizers. Paths are relative to the repository root.
set(WV_CORE_SOURCES
  src/platform/platform.cpp
  src/platform/console_platform.cpp
  src/platform/scripted_platform.cpp
  src/platform/file_system.cpp
  src/platform/atomic_file.cpp
  src/platform/text_encoding.cpp
  src/platform/lz_expand.cpp
  src/diag/log.cpp
  src/diag/notices.cpp
  src/diag/clock.cpp
  src/diag/stat_counter.cpp
  src/diag/state_registry.cpp
  src/math/trig_tables.cpp
  src/math/matrix3.cpp
  src/math/bounding.cpp
  src/math/camera.cpp
  src/resources/resources.cpp
  src/location/level_files.cpp
  src/location/level_location.cpp
  src/files/file_stream.cpp
  src/files/block_file.cpp
  src/files/name_handle.cpp
  src/files/texture_database.cpp
  src/files/texture_pixels.cpp
  src/files/texture_image.cpp
  src/files/mesh_objects.cpp
  src/files/png_image.cpp
  src/scene/render_state.cpp
  src/scene/view.cpp
  src/scene/level.cpp
  src/scene/gl_texture.cpp
  src/scene/value_table.cpp
  src/scene/scene_model.cpp
  src/scene/model_loader.cpp
  src/scene/scene_construction.cpp
  src/scene/dumps.cpp
  src/scene/texture_users.cpp
  src/effects/shadows.cpp
  src/terrain/height_field.cpp
  src/terrain/terrain.cpp
  src/level/load_sequence.cpp
  src/edit/edits.cpp
  src/edit/placement.cpp
  src/output/level_save.cpp
  src/edit/bookmarks.cpp
)

# The operating system beneath the platform contract: the one place where the
# build chooses it.
if(UNIX)
  list(APPEND WV_CORE_SOURCES
    src/platform/posix/system_posix.cpp
    src/platform/posix/large_memory_posix.cpp
    src/platform/posix/lz_expand_mspack.cpp
  )
elseif(WIN32)
  list(APPEND WV_CORE_SOURCES
    src/platform/win32/system_win32.cpp
    src/platform/win32/large_memory_win32.cpp
    src/platform/win32/lz_expand_lz32.cpp
  )
else()
  message(FATAL_ERROR "no system layer for ${CMAKE_SYSTEM_NAME}")
endif()
