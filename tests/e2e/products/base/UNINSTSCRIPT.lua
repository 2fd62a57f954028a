-- Test uninstall chunk: only carried, never run by the setup.
Lua_Logout("uninstall chunk")
