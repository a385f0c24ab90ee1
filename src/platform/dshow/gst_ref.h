// Owning references to GStreamer objects.
#pragma once

#include <gst/gst.h>

#include <memory>

namespace win::gst {

struct ObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) gst_object_unref(object);
  }
};

using ElementRef = std::unique_ptr<GstElement, ObjectUnref>;
using PadRef = std::unique_ptr<GstPad, ObjectUnref>;
using BusRef = std::unique_ptr<GstBus, ObjectUnref>;

struct CapsUnref {
  void operator()(GstCaps* caps) const {
    if (caps != nullptr) gst_caps_unref(caps);
  }
};
using CapsRef = std::unique_ptr<GstCaps, CapsUnref>;

// Takes a new reference to an object that someone else owns.
template <typename T>
std::unique_ptr<T, ObjectUnref> Retain(T* object) {
  if (object != nullptr) gst_object_ref(object);
  return std::unique_ptr<T, ObjectUnref>(object);
}

}  // namespace win::gst
