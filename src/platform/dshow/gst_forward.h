// Declarations of the GStreamer types that headers of the media graph mention, so that those
// headers need not pull in GLib (whose TRUE and FALSE macros clash with the platform's values).
#pragma once

typedef struct _GstElement GstElement;
typedef struct _GstElementFactory GstElementFactory;
typedef struct _GstPad GstPad;
typedef struct _GstMessage GstMessage;
typedef struct _GstObject GstObject;
typedef struct _GstTagList GstTagList;
