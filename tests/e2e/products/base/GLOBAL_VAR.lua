-- Test configuration: the tests steer each run through environment variables.
local function env(name) return os.getenv(name) end

global_install_basepath = "OrvTest"
global_app_id = tonumber(env("ORVTEST_APP_ID") or "22")
global_version = "1.0.0.1"
global_product_name = "测试产品"
global_install_mutex_guid = env("ORVTEST_MUTEX")
global_show_completewindow = env("ORVTEST_FINISH") ~= "0"
global_enable_ss_install = env("ORVTEST_SILENT") == "1"

-- A configuration in the strict-globals habit: reading a global nobody declared raises.
if env("ORVTEST_STRICT") == "1" then
  global_show_completewindow = nil
  setmetatable(_G, {__index = function(_, name) error("undeclared global " .. tostring(name), 2) end})
end
