# Tests of the jpeg codec.
