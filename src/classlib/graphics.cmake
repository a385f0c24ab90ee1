# The graphics classes and the control base.
target_sources(dashtune_classlib PRIVATE
  bmp_format.cpp)
