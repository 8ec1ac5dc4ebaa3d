// The OS side of the stand-in. Its parts come in their own files.
