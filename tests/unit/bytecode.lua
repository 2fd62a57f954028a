-- Compiled by the host luac and rewritten for the target: long and empty string constants, a nested
-- function with upvalues, and (in the unstripped copy) source name, line numbers and local names.
local long = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOP"
local empty = ""
local function outer(prefix)
  local count = 0
  return function(b)
    count = count + 1
    return prefix .. b .. empty, count
  end
end
local f = outer("中文x")
local s1, n1 = f("y")
local s2, n2 = f(empty)
local ok, where = pcall(function()
  error("boom") end)
bytecode_where = where
bytecode_result = table.concat({#long, long:sub(1, 4), s1 .. n1, s2 .. n2, 1.5, tostring(true), tostring(nil)}, "|")
local first = debug.getlocal(1, 1)
local up1, up2 = debug.getupvalue(f, 1), debug.getupvalue(f, 2)
if first and first:sub(1, 1) ~= "(" then
  bytecode_names = table.concat({first, up1 < up2 and up1 or up2, up1 < up2 and up2 or up1}, ",")
else
  bytecode_names = "?"
end
