# The graphics classes and the control base.
target_sources(dashtune_classlib PRIVATE
  bitmap.cpp
  bmp_format.cpp
  canvas_text.cpp
  clipboard.cpp
  colors.cpp
  controls.cpp
  drag_session.cpp
  edit_controls.cpp
  form.cpp
  graphics.cpp
  hint_window.cpp
  imagelist.cpp
  menus.cpp
  track_bar.cpp)
