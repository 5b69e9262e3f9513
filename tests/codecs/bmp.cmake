# Tests of the bmp codec.
