// Anchors the embedded resources' library; the resources themselves are added by the build.
