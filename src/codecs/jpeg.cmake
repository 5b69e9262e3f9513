# jpeg sources: target_sources(quenvale_codecs PRIVATE ...)
