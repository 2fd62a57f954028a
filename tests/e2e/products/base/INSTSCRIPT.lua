-- Test install script: every hook writes "hook:" and its name; environment variables choose the rest.
local function env(name) return os.getenv(name) end
local function hook(name) Lua_Logout("hook:" .. name) end

global_ss_install = false

function ORVSE_BeforeInit()
  hook("ORVSE_BeforeInit")
  if env("ORVTEST_SILENT") == "1" or env("ORVTEST_SS_WITHOUT_ENABLE") == "1" then
    global_ss_install = true
  end
  global_install_path = env("ORVTEST_INSTALL_PATH") or "C:\\OrvTest"
  local kind = env("ORVTEST_ERROR")
  if kind == "string" then
    error("bad thing in BeforeInit")
  elseif kind == "table" then
    error({code = 7})
  end
  if env("ORVTEST_DELETE") then
    Lua_Logout("delete result: " .. tostring(Lua_DeleteFile(env("ORVTEST_DELETE"))))
  end
  if env("ORVTEST_ARGV") == "1" then
    for i, word in ipairs(Lua_GetCommandLineArgv()) do Lua_Logout("argv[" .. i .. "]=" .. word) end
  end
  if env("ORVTEST_LOGOUT") == "1" then
    Lua_Logout(5)
    Lua_Logout(nil)
    Lua_Logout(2.5)
    Lua_Logout("中文日志")
  end
end

function ORVSE_BeforeInstall()
  hook("ORVSE_BeforeInstall")
  Lua_Logout("InstallPath=" .. tostring(InstallPath))
end

function ORVSE_OnInstall()
  hook("ORVSE_OnInstall")
  if env("ORVTEST_GC_ERROR") == "1" then
    -- An error in a finaliser fails the hook's call without reaching the error handler.
    setmetatable({}, {__gc = function() error("finaliser failed") end})
    collectgarbage()
  end
  -- Holds the run (and its mutex) while the file exists, at most 30 seconds.
  local hold = env("ORVTEST_HOLD_FILE")
  if hold then
    local deadline = os.time() + 30
    while os.time() < deadline do
      local f = io.open(hold, "rb")
      if not f then break end
      f:close()
    end
  end
end

function ORVSE_BeforeComplete()
  hook("ORVSE_BeforeComplete")
end

function ORVSE_AfterComplete()
  hook("ORVSE_AfterComplete")
end
