# Tests of the graphics classes and the control base.
target_sources(dashtune_classlib_tests PRIVATE
  graphics_bitmap_test.cpp
  graphics_canvas_test.cpp
  graphics_clipboard_test.cpp
  graphics_controls_test.cpp
  graphics_drag_test.cpp
  edit_controls_test.cpp
  graphics_imagelist_test.cpp
  graphics_menus_test.cpp
  graphics_bmp_format_test.cpp
  graphics_picture_test.cpp)
