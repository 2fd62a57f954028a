-- Configuration of the pacing test product: the shipped skin, nothing to install, no payload.
local function env(name) return os.getenv(name) end

global_install_basepath = "OrvPacing"
global_app_id = 0
global_version = "1.0.0.1"
global_product_name = "节拍测试"
global_install_mutex_guid = "Local\\orv-e2e-pacing"
global_need_disk_space = 0
global_startup_check_visable = false
global_show_completewindow = env("ORVPACE_FINISH") ~= "0"
global_enable_ss_install = false
