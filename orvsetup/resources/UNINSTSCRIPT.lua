-- Uninstall logic of Quellby. The setup leaves this chunk in the install folder as Uninst.dar1, beside the
-- configuration chunk (Uninst.dar0); the uninstaller runs both and calls the three hooks in order:
-- ORVSE_BeforeInit, ORVSE_OnUninstall, ORVSE_AfterUnintall. The uninstaller provides global_install_path,
-- Vote1Chk to Vote5Chk, tbContact, tbSuggest, ClearUserData, ChkUserSetting, _UninstallLib and _Uninstall_Path.

local script_version = "1.0.2.55"
local del_folder = Lua_ExpandEnv("%TMP%")
local temp_folder = del_folder
local search_service_program = "QuellbySS.exe"
local search_display_name = "奎比搜索"
local version_numbers = {}
local stat_module = nil
local stat_dll_path = nil
local legacy_menu_verbs = { "开启桌面整理", "开启奎比桌面整理", "关闭奎比桌面整理" }
-- Windows itself is 64-bit: the 32-bit uninstaller runs under WoW64, or the uninstaller is a 64-bit program.
local is_64bit_system = Lua_IsWow64() or Lua_ExpandEnv("%ProgramW6432%") ~= "%ProgramW6432%"
-- Processes that refuse to end are given up on after this many attempts instead of looping for ever.
local max_kill_attempts = 50
local stat_exports = {
  { "stat_init", "bool" }, { "stat_level" }, { "stat_unionid" }, { "stat_appid" }, { "stat_install", "int" },
  { "stat_version_ex" }, { "stat_install_addr" }, { "stat_close" }, { "stat_http_post", "int" },
}

-- File-system redirection of a 32-bit program on 64-bit Windows, switched off around the shortcut and
-- start-menu work so that it reaches the 64-bit folders.
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

lib = GLibTab.Kernel32
my_Sleep = lib and lib:Get("Sleep")

local function log(text)
  Lua_Logout(tostring(text))
end

local function wide(text)
  if text == nil then return nil end
  return WString.New(nil, text)
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
local function stop_search_service()
  Lua_RegVarByCSIDL("QUELLBY_SYSTEM", 37)  -- CSIDL_SYSTEM
  local sc = Lua_ExpandEnv("%QUELLBY_SYSTEM%\\sc.exe")
  for _, command in ipairs({ "stop quellbyss", "delete quellbyss" }) do
    if Lua_Exec(sc, nil, command, true) then log("sc " .. command) end
  end
  kill_all("quellbyss.exe", "pid:%d")
end

local function quick_launch_link(name)
  return string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\%s.lnk", "%APPDATA%", name)
end

local function pinned_link(place, name)
  return string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\%s\\%s.lnk", "%APPDATA%",
                       place, name)
end

-- Text for a JSON string: quotes, backslashes and control characters escaped; UTF-8 passes unchanged.
local json_escapes = { ['"'] = '\\"', ["\\"] = "\\\\", ["\b"] = "\\b", ["\f"] = "\\f", ["\n"] = "\\n",
                       ["\r"] = "\\r", ["\t"] = "\\t" }
local function json_text(text)
  return (string.gsub(text, '[%c"\\]', function(c)
    return json_escapes[c] or string.format("\\u%04x", string.byte(c))
  end))
end

-- A text box's text without the literal "/r/n" and without any white space.
local function squeeze(text)
  if text == nil then return "" end
  local squeezed = string.gsub(tostring(text), "/r/n", "")
  squeezed = string.gsub(squeezed, "%s+", "")
  return squeezed
end

-- A module without its DLL, or with an export missing, is not used.
local function stat_usable()
  if type(stat_module) ~= "table" or stat_module.lib == nil then return false end
  for _, export in ipairs(stat_exports) do
    if stat_module[export[1]] == nil then return false end
  end
  return true
end

function CreateSubtatModule()
  local module = {}
  local dll = GLibTab[stat_dll_path]
  if dll == nil then
    log("LoadLibrary " .. tostring(stat_dll_path) .. " failed")
    return module
  end
  module.lib = dll
  for _, export in ipairs(stat_exports) do
    module[export[1]] = dll:Get(export[1], export[2])
  end
  return module
end

function InitSubStat()
  if not stat_usable() then return false end
  if not stat_module.stat_init() then
    log("stat_init failed!")
    return false
  end
  stat_module.stat_level(2)
  stat_module.stat_unionid(tonumber(global_union_id))
  stat_module.stat_appid(global_app_id)
  stat_module.stat_install_addr(wide(global_udp_install_uninstall_url), tonumber(global_udp_un_install_port))
  local v = version_numbers
  stat_module.stat_version_ex(v[1] or 0, v[2] or 0, v[3] or 0, v[4] or 0)
  log(global_udp_install_uninstall_url)
  return true
end

function UninstallReport(reason)
  if not stat_usable() then return false end
  stat_module.stat_install(2)
  stat_module.stat_http_post(wide(global_Uninstall_PostURL), nil, 0, true)
  local posted = stat_module.stat_http_post(wide(global_Uninstall_ReasonURL), wide(reason), #reason, true)
  log(global_Uninstall_PostURL)
  return posted == 1
end

function Sleep(ms)
  local sleep = GLibTab.Kernel32:Get("Sleep")
  if sleep then sleep(ms) end
end

function Lua_Sleep(ms)
  if lib == nil or my_Sleep == nil then return end
  my_Sleep(ms)
end

function CheckPathExist(path)
  local exists = GLibTab.Shlwapi:Get("PathFileExistsW", "int")
  if not exists then return 0 end
  return (exists(WString.New(nil, path)))
end

function GetUnionID()
  local id = tonumber(Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId"))
  if id == nil then id = tonumber(Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId")) end
  global_union_id = id or 1
  log("union_id=" .. tostring(global_union_id))
end

function DeleteFileAndDirect(path, flag)
  if path == nil then return end
  Lua_DelFileRecursive(path)
end

function UninstallService()
  Lua_RegDel("HKCU", "SOFTWARE\\Quellby\\ReplaceSysSearch")
  stop_search_service()
end

function PathIsDirmpty(path)
  log(tostring(global_union_id))
  log("---del---")
  log("222")
  local empty = GLibTab.Shlwapi:Get("PathIsDirectoryEmptyW", "bool")
  if not empty then return 0 end
  return (empty(wide(path)))
end

function UnSetQuellbyContextMenu()
  for _, verb in ipairs(legacy_menu_verbs) do
    Lua_RegDel("HKCR", "Directory\\Background\\shell\\" .. verb .. "\\command")
    Lua_RegDel("HKCR", "Directory\\Background\\shell\\" .. verb)
  end
  Sleep(500)
end

function UnRegeditRightMenu(path, arg)
  local dll = GLibTab[path]
  if dll == nil then return end
  local register = dll:Get("DllRegEx", "int")
  if register then register(arg) end
  dll:UnLoad()
  GLibTab[path] = nil
end

function paht_remove_filename(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or string.sub(path, 1, 3)
end

local function shell_extensions()
  if is_64bit_system then return { "QuellbyShellExt64.dll", "QuellbyMenuShellExt64.dll" } end
  return { "QuellbyShellExt.dll", "QuellbyMenuShellExt.dll" }
end

local function remove_shell_extension(path)
  if not Lua_PathFileExists(path) then return end
  Lua_RegistDll(path, "/u /s", false)
  if Lua_DeleteFileEx(path) then return end
  log(path .. "  Delete Failed!!!")
  local unique = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempPath() .. "\\sh000001.tmp")
  if unique ~= "" and Lua_MoveFile(path, unique) then Lua_DeleteFileAfterReboot(unique) end
end

local function prepare_del_folder()
  del_folder = temp_folder
  if string.lower(string.sub(temp_folder, 1, 1)) ~= string.lower(string.sub(global_install_path, 1, 1)) then
    del_folder = paht_remove_filename(global_install_path) .. "\\del_reboot"
    -- Only a folder this run made is emptied afterwards: one of that name may hold the user's files.
    del_folder_created = not Lua_PathFileExists(del_folder) and Lua_CreateDirectory(del_folder)
  end
end

-- A file that cannot be deleted is moved aside and deleted at the next start.
local function on_delete_error(path, code)
  log(path .. string.format("  delete file failed:%d", code))
  local temp = Lua_GetTempFileName(del_folder, "JsZip")
  local unique = temp and Lua_PathYetAnotherMakeUniqueName(temp)
  if unique and unique ~= "" and Lua_MoveFile(path, unique) then Lua_DeleteFileAfterReboot(unique) end
end

local function stop_programs()
  UninstallService()
  Sleep(1000)
  kill_all(search_service_program, "pid:%d")
  Sleep(3000)
  kill_all(is_64bit_system and global_main_app_name_inner_64 or global_main_app_name_inner, "Updates pid:%d")
  kill_all("QuellbySearch.exe", "Updates pid:%d")
  for _, name in ipairs({ global_main_app_name, "QuellbyMainRecord.exe", "QuellbyWallpaper.exe",
                          "QuellbyUserCenter.exe" }) do
    kill_all(name, "pid:%d")
  end
end

local function remove_shortcuts()
  local names = { global_old_product_name, global_product_name, search_display_name }
  fsredir:Disable()
  Lua_RegVarByCSIDL("DESKTOP", 16)
  Lua_DeleteFile(string.format("%s\\%s.lnk", "%DESKTOP%", global_old_product_name))
  Lua_DeleteFile(string.format("%s\\%s.lnk", "%DESKTOP%", global_product_name))

  local helper_key = string.format("%s\\%s", global_install_path, "func_helper.dll")
  local helper = assert(GLibTab[helper_key], "LoadLibrary " .. helper_key .. " failed")
  local unpin = assert(helper:Get("UnpinFromTaskbar", "void"), "GetProcAddress \"UnpinFromTaskbar\" failed")
  for _, name in ipairs(names) do unpin(wide(quick_launch_link(name))) end
  helper:UnLoad()
  GLibTab[helper_key] = nil

  for _, name in ipairs(names) do Lua_Exec(pinned_link("TaskBar", name), "taskbarunpin") end
  Sleep(2000)
  for _, name in ipairs(names) do Lua_DeleteFile(quick_launch_link(name)) end

  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_Exec(pinned_link("StartMenu", global_old_product_name), "startunpin")
  Lua_Exec(pinned_link("StartMenu", global_product_name), "startunpin")
  Sleep(1000)
  Lua_DeleteFile(string.format("%s\\%s", "%COMMPROGRAMS%", global_old_product_name))
  Lua_DeleteFile(string.format("%s\\%s", "%COMMPROGRAMS%", global_product_name))
end

-- The reasons the user gave, as one JSON object; sent only when the contact box was there.
local function report_reason()
  for i = 1, 5 do
    if _G["Vote" .. i .. "Chk"] == nil then _G["Vote" .. i .. "Chk"] = false end
  end
  voted = 0
  for i = 1, 5 do
    if _G["Vote" .. i .. "Chk"] then
      voted = i
      break
    end
  end
  if tbContact == nil then return end
  tbContact = squeeze(tbContact)
  tbSuggest = squeeze(tbSuggest)
  uninstreason = string.format('{"uninstreasonid":%d, "uninstsuggest":"%s","contact":"%s"}', voted,
                               json_text(tostring(tbSuggest)), json_text(tostring(tbContact)))
  log("uninstreason:" .. uninstreason)
  UninstallReport(uninstreason)
end

function doUninstall()
  stop_programs()
  prepare_del_folder()
  for _, name in ipairs(shell_extensions()) do remove_shell_extension(global_install_path .. "\\" .. name) end
  remove_shortcuts()
  report_reason()

  fsredir:Revert()

  reg_del_list = {
    { "HKLM", global_reg_sub_key },
    { "HKCU", global_reg_sub_key },
    { "HKLM", global_uninst_sub_key },
  }
  for _, key in ipairs(reg_del_list) do
    log(key[1] .. "\\" .. key[2])
    Lua_RegDel(key[1], key[2])
  end
  -- The install wrote a start-with-Windows value that names the program about to be deleted.
  Lua_RegDel("HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Quellby")

  -- What the install log lists goes, newest first, the Start-menu folder and its shortcuts with it; files the
  -- user put in the install folder stay, and so does the folder that holds them.
  Lua_RemoveInstallLog(global_install_path, on_delete_error)
  if del_folder ~= temp_folder and del_folder_created then
    Lua_DelFileRecursive(del_folder)
    Lua_DeleteFileAfterReboot(del_folder)
  end
  if ClearUserData then
    Lua_DelFileRecursive(string.format("%s\\%s", "%LOCALAPPDATA%", global_product_name_inner))
  end
  Lua_DelFileRecursive(string.format("%s\\%s", "%TEMP%", "Quellby"))
  UnSetQuellbyContextMenu()
  return true
end

function doClean()
  if stat_usable() then
    Sleep(6000)
    stat_module.stat_close()
    stat_module.lib:UnLoad()
    GLibTab[stat_dll_path] = nil
  end
  if type(_UninstallLib) == "table" and _UninstallLib.lib ~= nil then _UninstallLib.lib:UnLoad() end
  if not ChkUserSetting then
    Lua_RegVarByCSIDL("APPDATA_USER", 26)
    Lua_RegVarByCSIDL("APPDATA_ALLUSER", 35)
  end
  if _Uninstall_Path ~= nil then Lua_DeleteFile(_Uninstall_Path) end
  Lua_DeleteFileAfterReboot(global_install_path)
end

function ORVSE_BeforeInit()
  log("script_version:" .. script_version)
  GetUnionID()
  version_numbers = {}
  for number in string.gmatch(tostring(global_version), "(%d+)|*") do
    version_numbers[#version_numbers + 1] = tonumber(number)
  end
  if global_install_path == nil or CheckPathExist(global_install_path) ~= 1 then
    global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
  end
  -- Without an install folder there is nothing this script may delete.
  assert(type(global_install_path) == "string" and global_install_path ~= "", "the install folder is unknown")
  main_app_fullpath = global_install_path .. "\\" .. global_main_app_name_inner
  uninstall_work_dir = paht_remove_filename(Lua_GetModuleFileName())

  local stat_source = global_install_path .. "\\vektostat.dll"
  if Lua_PathFileExists(stat_source) then
    stat_dll_path = uninstall_work_dir .. "\\vektostat.dll"
    Lua_CopyFile(stat_source, stat_dll_path)
    Lua_CopyFile(global_install_path .. "\\udp_vekto.dll", uninstall_work_dir .. "\\udp_vekto.dll")
    if Lua_PathFileExists(stat_dll_path) then
      stat_module = CreateSubtatModule()
      InitSubStat()
    end
  end
end

function ORVSE_OnUninstall()
  doUninstall()
end

function ORVSE_AfterUnintall()
  log("-----install----")
  doClean()
end
