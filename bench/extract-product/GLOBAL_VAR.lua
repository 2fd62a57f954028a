-- Benchmark product: a silent run that only unpacks the embedded payload.
global_app_id = 0
global_install_mutex_guid = "orvbench-extract"
global_enable_ss_install = true
global_show_completewindow = false
