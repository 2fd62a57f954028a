-- Journal test product: the install hook upgrades what the test left as version 1 (files, a registry
-- value, a key tree, a shortcut); ORVTEST_END chooses how the hook ends.
local function env(name) return os.getenv(name) end
local function hook(name) Lua_Logout("hook:" .. name) end

local ends = {}
function ends.none() end
function ends.error() error("the install went wrong") end
function ends.exit() os.exit(0) end
-- What the sample script does when an extraction fails.
function ends.extract()
  if not Lua_UnCompress7z(env("ORVTEST_DAMAGED"), global_install_path, true) then os.exit(0) end
end

function ORVSE_BeforeInit()
  hook("ORVSE_BeforeInit")
  global_ss_install = true
  global_install_path = env("ORVTEST_INSTALL_PATH")
end

function ORVSE_BeforeInstall()
  hook("ORVSE_BeforeInstall")
end

function ORVSE_OnInstall()
  hook("ORVSE_OnInstall")
  if env("ORVTEST_NOINSTALL") == "1" then return end
  local path = global_install_path
  -- ORVTEST_FILL: the length of a description recorded before anything changes (it fills the journal)
  local fill = tonumber(env("ORVTEST_FILL") or "0")
  if fill > 0 then Lua_RecordOutsideChange("file", path .. "\\never.txt", string.rep("f", fill)) end
  if not Lua_UnCompress7z("App.7z", path, false, function(file) Lua_Logout("file:" .. file) end) then os.exit(0) end
  Lua_RegAdd("HKCU", "Software\\OrvJournalE2E", "Version", "REG_SZ", "2", true)
  Lua_RegAdd("HKCU", "Software\\OrvJournalE2E", "Added", "REG_SZ", "new", true)
  Lua_RegDel("HKCU", "Software\\OrvJournalE2E\\Old")
  Lua_CreateShortcut(path .. "\\a.txt", path .. "\\link.lnk", "", "")
  ends[env("ORVTEST_END") or "none"]()
end

function ORVSE_BeforeComplete()
  hook("ORVSE_BeforeComplete")
  Lua_Logout("restart needed: " .. tostring(global_restart_needed))
end

function ORVSE_AfterComplete()
  hook("ORVSE_AfterComplete")
end
