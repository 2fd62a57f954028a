-- Creates the folder the benchmark names and unpacks the embedded payload into it, as a product's install does.
global_ss_install = true

function ORVSE_OnInstall()
  local dest = os.getenv("ORVBENCH_DEST")
  Lua_CreateDirectory(dest)
  local ok = Lua_UnCompress7z("App.7z", dest, false, nil, function() return 2 end)
  Lua_Logout(ok and "bench: extracted" or "bench: extraction failed")
end
