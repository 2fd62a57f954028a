-- Pacing test product: the hooks only write trace lines ("pace:" and the hook); the environment variable
-- ORVPACE_HOOK chooses what the install hook does.
local function env(name) return os.getenv(name) end
local function log(text) Lua_Logout("pace:" .. text) end

local function sleep(ms) GLibTab.Kernel32:Get("Sleep")(ms) end

local installing = false
local installs = {}

function installs.fast() end

-- Longer than the bar: native calls, during which the window may write, then pure script, during which it
-- may not.
function installs.slow()
  for _ = 1, 12 do sleep(300) end
  local sum = 0
  for i = 1, 3000000 do sum = sum + i % 7 end
end

-- A runtime error: the error handler shows it and ends the process.
function installs.error()
  local missing
  missing.field = 1
end

-- An error in a finaliser fails the hook's call without reaching the error handler.
function installs.gcerror()
  collectgarbage("stop")
  setmetatable({}, {__gc = function() error("finaliser failed") end})
  collectgarbage()
end

-- os.exit with a code, while an object waits for its finaliser: ending the run must not close the state
-- (which would run the finaliser) while this thread and the window's still use it.
function installs.exit()
  local kept = setmetatable({}, {__gc = function() log("collected at exit") end})
  log("exit with " .. tostring(kept))
  os.exit(7)
end

-- Garbage with finalisers while the window ticks: each native call may leave the collector owed work
-- (a large string made), and the window takes its turn during the Sleep that follows.
function installs.finalisers()
  local current = GLibTab.Kernel32:Get("GetCurrentThreadId", "int")
  local own = current()
  local pause = GLibTab.Kernel32:Get("Sleep")
  collectgarbage("setpause", 100)  -- a collector always at work, in small steps
  collectgarbage("setstepmul", 40)
  local meta = {__gc = function()
    if installing and current() ~= own then log("finaliser on the window's thread") end
  end}
  for _ = 1, 200 do
    for _ = 1, 40 do setmetatable({}, meta) end
    local _ = string.rep("x", 64 * 1024)
    pause(5)
  end
end

function ORVSE_BeforeInit()
  log("BeforeInit")
  global_install_path = env("ORVPACE_FOLDER") or "C:\\OrvPacing"
end

function ORVSE_BeforeInstall()
  log("BeforeInstall")
end

function ORVSE_OnInstall()
  local mode = env("ORVPACE_HOOK") or "fast"
  log("OnInstall " .. mode .. " elapse=" .. tostring(global_install_progress_elapse))
  -- Changes the run undoes when it does not complete.
  Lua_RegAdd("HKCU", "Software\\OrvPacing", "Installed", "REG_SZ", "yes", true)
  Lua_CreateShortcut(global_install_path .. "\\pace.txt", global_install_path .. "\\pace.lnk", "", "")
  installing = true
  installs[mode]()
  installing = false
  log("OnInstall end pos=" .. tostring(global_install_progress_pos))
end

function ORVSE_BeforeComplete()
  log("BeforeComplete pos=" .. tostring(global_install_progress_pos))
end

function ORVSE_AfterComplete()
  log("AfterComplete")
end
