local function main()
  local char, find, byte, tostring = string.char, string.find, string.byte, tostring
  local c = 0
  for i = 1, 1000000 do
    local a = "AB" .. char(65 + i % 26)
    local b = a .. tostring(i % 10)
    c = c + #b + find(b, "B", 1, true)
    if byte(b, 3) == 67 then -- "C"
      c = c + 1
    end
    c = c + byte(b, 4) - 48 -- the digit's value
  end
  print(c)
end

main()
