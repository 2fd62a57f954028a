-- Unpacks the embedded payload into the folder the benchmark names, as a product's install does.
global_ss_install = true

function ORVSE_OnInstall()
  local ok = Lua_UnCompress7z("App.7z", os.getenv("ORVBENCH_DEST"), false, nil, function() return 2 end)
  Lua_Logout(ok and "bench: extracted" or "bench: extraction failed")
end
