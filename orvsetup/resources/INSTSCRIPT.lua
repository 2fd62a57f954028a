-- Install logic of the Quellby setup. The engine calls the hooks below in order; every effect on the
-- machine goes through the engine's Lua_* actions.

local script_version = "1.0.2.57"

global_ss_install = false
global_ss_run = false

local function log(...)
  Lua_Logout(table.concat({...}))
end

local function default_install_path()
  local base = os.getenv("ProgramFiles") or "C:\\Program Files"
  return base .. "\\" .. global_install_basepath
end

function ORVSE_BeforeInit()
  log("script_version:", script_version)
  if global_install_path == nil then
    global_install_path = default_install_path()
  end
  if not global_need_disk_space then global_need_disk_space = 20048128 end
  if global_startup_check_visable == nil then global_startup_check_visable = true end
  global_startup_check = global_startup_check or true
  if not global_custom_reg_list then global_custom_reg_list = {} end
  if global_show_completewindow == nil then global_show_completewindow = true end
  for _, name in ipairs({"DesktopShortcutChk", "StartMenuShortcutChk", "QuickLaunchChk",
                         "SetOpenServerChk", "ShouldStartWithWindowsChk", "InstallSearchServer"}) do
    _G[name] = _G[name] or true
  end
end

function ORVSE_BeforeInstall()
  log("InstallPath:", tostring(InstallPath))
  global_install_path = InstallPath
end

function ORVSE_OnInstall()
  log("install into ", global_install_path)
end

function ORVSE_BeforeComplete()
  log("install of ", global_product_name_inner, " ", global_version, " complete")
end

function ORVSE_AfterComplete()
end
