# Tests of the resamplers and effects.
