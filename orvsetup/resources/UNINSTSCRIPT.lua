-- Uninstall logic of Quellby, left in the install folder for the product's uninstaller, which runs it
-- after the configuration chunk.

function ORVSE_UnInstall()
  Lua_Logout("uninstall " .. tostring(global_product_name_inner))
end
