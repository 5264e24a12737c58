// The extension object.
