-- Benchmark product: a silent setup without the finish window and with nothing to unpack.
global_install_basepath = "OrvBench"
global_app_id = 0
global_install_mutex_guid = "Local\\orv-bench"
global_product_name = "Bench"
global_show_completewindow = false
global_enable_ss_install = true
