-- Install logic of the Quellby setup. Running the chunk only defines constants, helpers and hooks; the
-- engine calls the hooks in order. Every effect on the machine goes through the engine's Lua_* actions or
-- through DLL exports called with the bridge (GLibTab, AString, WString, RawBuffer).

local script_version = "1.0.2.57"
local caption = string.format("%s - 安装", tostring(global_product_name))
local default_oem_union_id = 1000      -- replaced by the digits in the setup file's name, when there are any
local del_folder = Lua_ExpandEnv("%TMP%")
local temp_folder = del_folder
local installed_union_id = 0
local reserved_union_id = 1            -- an installation without a real channel
local old_version_file = ""
local search_service_program = "QuellbySS.exe"
local uninstall_helper_name = ""
local wallpaper_display_name = "奎比壁纸"
local wallpaper_program = "QuellbyWallpaper.exe"
local search_display_name = "奎比搜索"
local search_program = "QuellbySearch.exe"
local search_window_class = "CDlgSearch"
local browser_emulation_program = Lua_IsWow64() and "Quellby64.exe" or "Quellby.exe"
local browser_emulation_key = "SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION"
local legacy_menu_verbs = { "开启桌面整理", "开启奎比桌面整理" }
-- Windows itself is 64-bit: the 32-bit setup runs under WoW64, or the setup is a 64-bit program.
local is_64bit_system = Lua_IsWow64() or Lua_ExpandEnv("%ProgramW6432%") ~= "%ProgramW6432%"
-- Processes that refuse to end are given up on after this many attempts instead of looping for ever.
local max_kill_attempts = 50

global_ss_install = false
global_ss_run = false

-- File-system redirection of a 32-bit program on 64-bit Windows, switched off around writes that must
-- reach the 64-bit system folders.
fsredir = {}
fsredir.IsNeed = Lua_GetOSVersion() > 5 and Lua_IsWow64()
fsredir.Wow64DisableWow64FsRedirection = GLibTab.kernel32:Get("Wow64DisableWow64FsRedirection", "int")
fsredir.Wow64RevertWow64FsRedirection = GLibTab.kernel32:Get("Wow64RevertWow64FsRedirection", "int")
if fsredir.IsNeed then
  -- The export stores a pointer-wide value: room for it in the 64-bit build too.
  fsredir.pOld = RawBuffer.New(8)
  function fsredir:Disable() self.Wow64DisableWow64FsRedirection(self.pOld) end
  function fsredir:Revert() self.Wow64RevertWow64FsRedirection(self.pOld:OffsetGetAsUInt32(0)) end
else
  function fsredir:Disable() end
  function fsredir:Revert() end
end

local function log(text)
  Lua_Logout(tostring(text))
end

local function wide(text)
  if text == nil then return nil end
  return WString.New(nil, text)
end

-- File name of a path without its folders, and without its extension.
local function file_name(path)
  return string.match(path, ".+\\([^\\]*%.%w+)$") or path
end

local function file_title(path)
  local name = file_name(path)
  local dot = string.match(name, ".+()%.%w+$")
  if dot then return string.sub(name, 1, dot - 1) end
  return name
end

local function kill_all(name, format)
  local pid = Lua_GetProcessId(name)
  log(string.format(format, pid))
  local attempts = 0
  while pid ~= -1 and attempts < max_kill_attempts do
    Lua_TaskKill(pid, nil)
    attempts = attempts + 1
    pid = Lua_GetProcessId(name)
    log(string.format(format, pid))
  end
end

-- The service tool by its full path in the system folder, waited for: a bare "sc" started through the
-- command interpreter is looked for in the current folder first.
local function service_tool()
  Lua_RegVarByCSIDL("QUELLBY_SYSTEM", 37)  -- CSIDL_SYSTEM
  return Lua_ExpandEnv("%QUELLBY_SYSTEM%\\sc.exe")
end

local function stop_search_service()
  local sc = service_tool()
  for _, command in ipairs({ "stop quellbyss", "delete quellbyss" }) do
    if Lua_Exec(sc, nil, command, true) then log("sc " .. command) end
  end
  kill_all("quellbyss.exe", "pid:%d")
end

local function start_search_service()
  Lua_Exec(string.format("%s\\%s", global_install_path, search_service_program), nil, "--install", true)
end

function Sleep(ms)
  local sleep = GLibTab.Kernel32:Get("Sleep")
  if sleep then sleep(ms) end
end

function GetCurrentProcessId()
  local get = GLibTab.Kernel32:Get("GetCurrentProcessId", "int")
  return get()
end

function CheckPathExist(path)
  local exists = GLibTab.Shlwapi:Get("PathFileExistsA", "int")
  if not exists then return 0 end
  return exists(AString.New(nil, path))
end

-- A program path as a command line's first word: unquoted, C:\My Apps\x.exe would start C:\My.exe.
local function quoted(path)
  return '"' .. path .. '"'
end

function path_unquote_spaces(s)
  return (string.gsub(s, '^"*(.-)"*$', "%1"))
end

function Split(s, sep)
  log("FullString:" .. tostring(s))
  local list = {}
  local start = 1
  while true do
    local first, last = string.find(s, sep, start)
    if not first or last < first then
      list[#list + 1] = string.sub(s, start)
      break
    end
    list[#list + 1] = string.sub(s, start, first - 1)
    start = last + 1
  end
  return list, #list
end

function InitCommandLineArgv_new()
  local argv = Lua_GetCommandLineArgv()
  if type(argv) ~= "table" then return end
  for _, arg in ipairs(argv) do
    local head5, head6 = string.sub(arg, 1, 5), string.sub(arg, 1, 6)
    if arg == "/s" or arg == "-s" then
      if global_enable_ss_install then
        global_ss_install = true
        global_show_completewindow = false
      end
    elseif head5 == "-uid=" or head5 == "-uid:" or head5 == "/uid:" then
      global_union_id = tonumber(string.sub(arg, 6))
    elseif head6 == "-path=" or head6 == "-path:" or head6 == "/path:" then
      -- A relative folder means one below the folder the user started the setup from.
      global_install_path = Lua_GetFullPathName(string.sub(arg, 7)) or global_install_path
    end
  end
end

function AnalyzeParam()
  local pieces, count = Split(file_title(Lua_GetModuleFileName()), "_")
  if count ~= 3 or string.lower(pieces[1]) ~= string.lower(global_product_name_inner) then return end
  local id = tonumber(pieces[2])
  if id and id >= 100 and id <= 9999 then
    replace_union_id = id
    global_union_id = id
    log("union_id:-----------2" .. id)
    g_default_uinon = 0
  end
end

function GetCurrentUnionID()
  local id = Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId")
  log("union_id=" .. tostring(id))
  if id == nil then
    id = Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId")
    log("union_id=" .. tostring(id))
  end
  return tonumber(id) or 0
end

function CheckUnionID()
  return GetCurrentUnionID() == global_union_id
end

function GetUnionByPkgName()
  return string.match(file_name(Lua_GetModuleFileName()), "^.*_.*%-(%d+).*%..*$")
end

function paht_remove_filename(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or string.sub(path, 1, 3)
end

function analy_filename_with_ss_param()
  if global_enable_ss_install ~= true then return end
  local title = file_title(Lua_GetModuleFileName())
  log("analy_filename_with_ss_param:stAppName " .. title)
  local lower = string.lower(title)
  if string.find(lower, "@st", 1, true) then
    global_ss_install = true
    global_ss_run = true
  end
  if string.find(lower, "@stt", 1, true) then
    global_ss_install = true
    global_ss_run = false
  end
end

local shortcut_markers = {
  { "@dto", "@dtc", "DesktopShortcutChk" },
  { "@smo", "@smc", "StartMenuShortcutChk" },
  { "@qlo", "@qlc", "QuickLaunchChk" },
  { "@swo", "@swc", "ShouldStartWithWindowsChk" },
  { "@sso", "@ssc", "InstallSearchServer" },
}

function analy_filename_with_shortcut_param()
  local lower = string.lower(file_title(Lua_GetModuleFileName()))
  for _, marker in ipairs(shortcut_markers) do
    if string.find(lower, marker[1], 1, true) then _G[marker[3]] = true end
    if string.find(lower, marker[2], 1, true) then _G[marker[3]] = false end
  end
end

function FindWnd(class, title)
  local find = GLibTab.User32:Get("FindWindowW", "int")
  return find(wide(class), wide(title))
end

function CheckClient()
  if global_ss_install then return end
  if FindWnd(global_main_wnd_cls, nil) == 0 then return end
  local text = string.format("检测到 %s 正在运行\r\n选择[确定]强制关闭，[取消]取消安装", global_product_name)
  if Lua_MsgBox(text, caption, 1 + 48 + 65536) ~= 1 then os.exit(0) end
end

local function move_away_and_schedule(path, unique)
  if unique and Lua_MoveFile(path, unique) then
    Lua_DeleteFileAfterReboot(unique)
    return true
  end
  return false
end

function checkQuellbyShellExt(path)
  if not Lua_PathFileExists(path) then return end
  log(path .. "  check!!!")
  Lua_RegistDll(path, "/u /s", false)
  if Lua_DeleteFileEx(path) then return end
  log(path .. "  Delete Failed!!!")
  local unique = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempPath() .. "\\sh000001.tmp")
  log(tostring(unique) .. "  generate tmpfile")
  if not move_away_and_schedule(path, unique) then log(path .. "  move to tmp Failed!!!") end
end

function InstallReport(version, channel, app)
  log("start install report info")
  local path = global_install_path .. "\\vektostat.dll"
  local lib = GLibTab[path]
  assert(lib, "LoadLibrary " .. path .. " failed")
  local function bind(name, kind)
    local export, code = lib:Get(name, kind)
    assert(export, "GetProcAddress \"" .. name .. "\" failed, errcode : " .. tostring(code))
    return export
  end
  bind("stat_unionid")(channel)
  bind("stat_appid")(app)
  bind("stat_level")(2)
  bind("stat_version_ex")(version[1], version[2], version[3], version[4])
  bind("stat_install_addr")(wide(global_udp_install_uninstall_url), tonumber(global_udp_un_install_port))
  if not bind("stat_init", "bool")() then
    log("stat_init failed!")
    return false
  end
  log(global_udp_install_uninstall_url)
  local install = bind("stat_install", "int")
  if installed_union_id == 0 then
    install(1)
  else
    log("cover install!!!")
    install(3)
  end
  local posted = bind("stat_http_post", "int")(wide(global_install_PostURL), nil, 0, true)
  log(global_install_PostURL)
  bind("stat_close")()
  lib:UnLoad()
  GLibTab[path] = nil
  return posted == 1
end

function UpInfomession()
  local id = global_union_id
  if installed_union_id ~= 0 and installed_union_id ~= reserved_union_id then id = installed_union_id end
  report_union_id = id
  return InstallReport(global_tb_version, id, global_app_id)
end

function SsRunApp()
  if global_enable_ss_install and global_ss_install and global_ss_run then
    Lua_ExplorerExec(global_install_path .. "\\" .. global_main_app_name, "")
  end
end

function notify_association_changed()
  local notify = GLibTab.shell32:Get("SHChangeNotify", "void")
  if notify then notify(134217728, 3, 0, 0) end
end

function ORVSE_BeforeInit()
  log("script_version:" .. script_version)
  if Lua_GetOSVersion() < 6 then
    Lua_MsgBox(tostring(global_product_name) .. " 目前只支持WIN7和更新的Windows操作系统！", caption)
    os.exit(0)
  end
  installed_union_id = GetCurrentUnionID()
  if installed_union_id == reserved_union_id then global_cover_unionId = true end
  local digits = GetUnionByPkgName()
  if digits then default_oem_union_id = tonumber(digits) end
  global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
    or Lua_RegQuery("HKLM", global_reg_sub_key, "AppPath")
    or Lua_RegQuery("HKCU", global_reg_sub_key, "AppPath")
  -- Where the installed version is: an upgrade into another folder takes its install log from there.
  previous_install_path = global_install_path
  if global_disable_cover == true and CheckUnionID() and global_install_path ~= nil then os.exit(0) end
  if global_disable_analyze_params_from_file_name == false then AnalyzeParam() end
  InitCommandLineArgv_new()
  if global_install_path == nil then
    local base = fsredir.IsNeed and Lua_ExpandEnv("%ProgramFiles(x86)%\\") or Lua_ExpandEnv("%ProgramFiles%\\")
    global_install_path = base .. global_install_basepath
  end
  global_need_disk_space = global_need_disk_space or 20048128
  if global_startup_check_visable == nil then global_startup_check_visable = true end
  global_startup_check = global_startup_check or true
  if global_enable_ss_install == true then analy_filename_with_ss_param() end
  global_custom_reg_list = global_custom_reg_list or {}
  if global_show_completewindow == nil then global_show_completewindow = true end
  for _, name in ipairs({ "DesktopShortcutChk", "StartMenuShortcutChk", "QuickLaunchChk", "SetOpenServerChk",
                          "ShouldStartWithWindowsChk", "InstallSearchServer" }) do
    _G[name] = _G[name] or true
  end
  if global_ss_install then analy_filename_with_shortcut_param() end
end

function ORVSE_BeforeInstall()
  CheckClient()
  global_tb_version = {}
  for number in string.gmatch(global_version, "(%d+)|*") do global_tb_version[#global_tb_version + 1] = tonumber(number) end
  local v = global_tb_version
  global_dwversion = (((v[1] or 0) * 100 + (v[2] or 0)) * 100 + (v[3] or 0)) * 10000 + (v[4] or 0)
  log("InstallPath:" .. tostring(InstallPath))
  global_install_path = InstallPath
  Lua_CreateDirectory(global_install_path)
end

local function shell_extensions()
  if is_64bit_system then return { "QuellbyShellExt64.dll", "QuellbyMenuShellExt64.dll" } end
  return { "QuellbyShellExt.dll", "QuellbyMenuShellExt.dll" }
end

local function prepare_del_folder()
  del_folder = temp_folder
  if string.lower(string.sub(temp_folder, 1, 1)) ~= string.lower(string.sub(global_install_path, 1, 1)) then
    del_folder = paht_remove_filename(global_install_path) .. "\\del_reboot"
    -- Only a folder this run made is emptied afterwards: one of that name may hold the user's files.
    del_folder_created = not Lua_PathFileExists(del_folder) and Lua_CreateDirectory(del_folder)
  end
end

-- A file that cannot be written is moved aside and scheduled for deletion, then written again.
local function on_extract_error(path, code)
  log(path .. string.format("  创建文件出错:%d", code))
  local temp = Lua_GetTempFileName(del_folder, "JsZip")
  local unique = temp and Lua_PathYetAnotherMakeUniqueName(temp)
  if move_away_and_schedule(path, unique) then return 0 end
  if string.find(path, "QuellbyMenuShellExt", 1, true) then
    log("ingore QuellbyMenuShellExt")
    return 1
  end
  if string.find(path, "QuellbyShellExt", 1, true) then
    log("ingore quellbyshellext")
    return 1
  end
  return 2
end

local function build_reg_add_list()
  local R, U, E = global_reg_sub_key, global_uninst_sub_key, browser_emulation_key
  local path, version, cover = global_install_path, global_version, global_cover_unionId
  IE_Compatible_Reg = E
  reg_add_list = {
    { "HKLM", R, "AppPath", "REG_SZ", path, true },
    { "HKLM", R, "UnionId", "REG_DWORD", global_union_id, cover },
    { "HKLM", R, "OEMUnionId", "REG_DWORD", default_oem_union_id, cover },
    { "HKLM", R, "OemID", "REG_DWORD", 1, true },
    { "HKLM", R, "UserID", "REG_BINARY", 0, true },
    { "HKCU", R, "AppPath", "REG_SZ", path, true },
    { "HKCU", R, "UnionId", "REG_DWORD", global_union_id, cover },
    { "HKCU", R, "OEMUnionId", "REG_DWORD", default_oem_union_id, cover },
    { "HKCU", R, "OemID", "REG_DWORD", 1, true },
    { "HKCU", R, "UserID", "REG_BINARY", 0, true },
    { "HKCU", R, "Version", "REG_DWORD", global_dwversion, true },
    { "HKCU", R, "DisplayVersion", "REG_SZ", version, true },
    { "HKCU", R, "WpDisplayVersion", "REG_SZ", version, true },
    { "HKCU", R, "SearchDisplayVersion", "REG_SZ", version, true },
    { "HKCU", R, "wpupdate", "REG_DWORD", 1, true },
    { "HKCU", R, "SearchHtmlUpdate", "REG_DWORD", 1, true },
    { "HKCU", R, "InstallForService", "REG_DWORD", 1, true },
    { "HKLM", U, "DisplayIcon", "REG_SZ", main_app_fullpath, true },
    { "HKLM", U, "DisplayName", "REG_SZ", global_product_name, true },
    { "HKLM", U, "DisplayVersion", "REG_SZ", version, true },
    { "HKLM", U, "EstimatedSize", "REG_DWORD", global_need_disk_space / 1024, true },
    { "HKLM", U, "NoModify", "REG_DWORD", 1, true },
    { "HKLM", U, "NoRepair", "REG_DWORD", 1, true },
    { "HKLM", U, "Publisher", "REG_SZ", global_company_name, true },
    { "HKLM", U, "UninstallString", "REG_SZ", quoted(path .. "\\Uninstall.exe"), true },
    { "HKLM", U, "InstallLocation", "REG_SZ", path, true },
    { "HKLM", U, "InstallDate", "REG_SZ", os.date("%Y%m%d"), true },
    { "HKCU", E, browser_emulation_program, "REG_DWORD", IE_Reg_Value, true },
    { "HKLM", E, browser_emulation_program, "REG_DWORD", IE_Reg_Value, true },
    { "HKCU", E, wallpaper_program, "REG_DWORD", IE_Reg_Value, true },
    { "HKLM", E, wallpaper_program, "REG_DWORD", IE_Reg_Value, true },
  }
end

local function write_registry()
  for _, row in ipairs(reg_add_list) do Lua_RegAdd(row[1], row[2], row[3], row[4], row[5], row[6]) end
  for _, row in ipairs(global_custom_reg_list) do
    Lua_RegAdd(row.hkey, row.subkey, row.value, row.datatype, row.data, row.overwrite)
  end
end

local function quick_launch_link(name)
  return string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\%s.lnk", "%APPDATA%", name)
end

local function set_product_dword(name, value)
  Lua_RegAdd("HKCU", "SOFTWARE\\Quellby", name, "REG_DWORD", value, true)
end

-- What the helper DLL and the programs started here change, added to the install record with its undo so
-- that the uninstaller takes it back. The shortcuts the helper saves are recorded before it saves them: a
-- rollback deletes one that was not there and leaves one an earlier install made.
function record_outside_shortcuts(is_win11)
  if DesktopShortcutChk then
    Lua_RegVarByCSIDL("DESKTOP", 16)  -- CSIDL_DESKTOPDIRECTORY, where the helper saves the shortcut
    Lua_RecordOutsideChange("file", string.format("%s\\%s.lnk", "%DESKTOP%", global_product_name), "desktop shortcut")
  end
  if QuickLaunchChk and is_win11 then
    Lua_RecordOutsideChange("file", quick_launch_link(search_display_name), "taskbar shortcut")
  end
end

function record_outside_registrations()
  for _, name in ipairs(shell_extensions()) do
    Lua_RecordOutsideChange("server", global_install_path .. "\\" .. name, "shell extension")
  end
  if InstallSearchServer then
    Lua_RecordOutsideChange("service", "quellbyss", "search service")  -- registered before the finish dialog
  end
end

function ORVSE_OnInstall()
  stop_search_service()
  Lua_KillAllTaskByName("VektoUpg.exe")
  Lua_KillAllTaskByName(Lua_IsWow64() and global_main_app_name_inner_64 or global_main_app_name_inner)
  Sleep(2000)
  for _, name in ipairs({ search_program, "QuellbyMainRecord.exe", wallpaper_program, "QuellbyUserCenter.exe" }) do
    Lua_KillAllTaskByName(name)
  end
  for _, name in ipairs(shell_extensions()) do checkQuellbyShellExt(global_install_path .. "\\" .. name) end
  prepare_del_folder()

  if not Lua_UnCompress7z("App.7z", global_install_path, false, nil, on_extract_error) then
    Lua_MsgBox("释放文件时出现错误，安装程序将终止！", caption)
    os.exit(0)
  end
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", global_install_path .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", global_install_path .. "\\Uninst.dar1")

  for _, verb in ipairs(legacy_menu_verbs) do
    for _, key in ipairs({ "Directory\\Background\\shell\\" .. verb .. "\\command", "Directory\\Background\\shell\\" .. verb }) do
      Lua_RegDel("HKCR", key)
      Lua_RegDel("HKCR", key)
    end
  end

  main_app_fullpath = global_install_path .. "\\" .. global_main_app_name
  local helper_key = string.format("%s\\%s", global_install_path, "func_helper.dll")
  local helper = GLibTab[helper_key]
  IE_Reg_Value = helper:Get("IsOSWin7", "bool")() and 8000 or 11000
  local is_win11 = helper:Get("IsOSWin11", "bool")()

  build_reg_add_list()
  write_registry()

  fsredir:Disable()
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  helper:Get("AllowAccountPrivilege", "bool")(wide(global_install_path))
  Lua_DeleteFile(string.format("%s\\%s.lnk", "%DESKTOP%", global_old_product_name))
  for _, name in ipairs(shell_extensions()) do Lua_RegistDll(global_install_path .. "\\" .. name, "/i /s", false) end

  record_outside_shortcuts(is_win11)
  if DesktopShortcutChk then
    helper:Get("CreateDesktopShortcut", "void")(wide(main_app_fullpath), wide(global_main_wnd_cls), wide(global_product_name))
  end
  local unpin = helper:Get("UnpinFromTaskbar", "void")
  unpin(wide(quick_launch_link(global_old_product_name)))
  Sleep(2000)

  if QuickLaunchChk then
    if is_win11 then
      log("QuellbyInstall win11")
      unpin(wide(quick_launch_link(search_display_name)))
      helper:Get("CreateTaskbarShortcut", "void")(wide(global_install_path .. "\\" .. search_program),
                                                   wide(search_window_class), wide(search_display_name))
    end
    set_product_dword("QuickLaunchChk", 1)
  else
    set_product_dword("QuickLaunchChk", 0)
  end

  if StartMenuShortcutChk then
    local name = global_product_name
    -- The arguments are written only when a description argument follows (nil: none).
    Lua_CreateShortcut(main_app_fullpath, string.format("%s\\%s\\%s.lnk", "%COMMPROGRAMS%", name, name), "/menu", nil)
    Lua_CreateShortcut(global_install_path .. "\\Uninstall.exe",
                       string.format("%s\\%s\\卸载%s.lnk", "%COMMPROGRAMS%", name, name), "", nil)
    set_product_dword("StartMenuShortcutChk", 1)
  else
    set_product_dword("StartMenuShortcutChk", 0)
  end

  local run_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
  if ShouldStartWithWindowsChk then
    Lua_RegAdd("HKCU", run_key, "Quellby", "REG_SZ", quoted(global_install_path .. "\\Quellby.exe") .. " /startup system", true)
  else
    Lua_RegDel("HKCU", run_key, "Quellby")
  end

  if InstallSearchServer then
    set_product_dword("ReplaceSysSearch", is_win11 and 0 or 1)
    set_product_dword("SearchRunWithDesktop", 1)
  else
    set_product_dword("ReplaceSysSearch", 0)
    set_product_dword("SearchRunWithDesktop", 0)
  end

  helper:UnLoad()
  GLibTab[helper_key] = nil
  fsredir:Revert()

  if global_create_log_folder == true then
    Lua_CreateDirectory(global_install_path .. "\\log")
    Lua_CreateDirectory(global_install_path .. "\\ZipUpdater\\log")
  end
  if del_folder ~= temp_folder and del_folder_created then
    Lua_DelFileRecursive(del_folder)
    Lua_DeleteFileAfterReboot(del_folder)
  end
  record_outside_registrations()
  Lua_WriteInstallLog(global_install_path, previous_install_path)
end

function ORVSE_BeforeComplete()
  if InstallSearchServer == true then start_search_service() end
  SsRunApp()
  UpInfomession()
  notify_association_changed()
end

function ORVSE_AfterComplete()
end
