-- Benchmark product: asks for the silent run and does nothing else.
global_ss_install = false

function ORVSE_BeforeInit()
  global_ss_install = true
  global_install_path = "C:\\OrvBench"
end
