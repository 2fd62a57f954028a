-- Run by the engine tests through DoResLua: records the chunk name it was loaded under.
resource_chunk_name = debug.getinfo(1, "S").source
