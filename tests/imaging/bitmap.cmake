# Tests of the Raster image.
