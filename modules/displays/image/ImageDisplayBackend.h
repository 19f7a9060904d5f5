#pragma once
// What libLUMImageDisplayBackend.so offers the LUMImageDisplay plug-in, which looks the
// function up by name when the first display is opened.
class CDVBDisplay;

extern "C" {
// A display that keeps its latest frame (CDVBFrameSnapshot), deleted by whoever closes it.
CDVBDisplay* LUMImageCreateDisplay();
}
