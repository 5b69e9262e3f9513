# Tests of the spi codec.
