local function main()
  local byte, tostring = string.byte, tostring
  local n = {}
  local t = 0
  for r = 1, 900 do
    for i = 1, 2000 do
      n[i] = "K" .. tostring(i * r % 1000)
    end
    local m = n[1]
    local c = 0
    for i = 2, 2000 do
      local e = n[i]
      if e > m then
        m = e
      end
      if byte(e, 2) == 53 then -- "5"
        c = c + 1
      end
    end
    t = t + c + #m
  end
  print(t)
end

main()
