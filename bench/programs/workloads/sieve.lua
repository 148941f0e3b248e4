local function main()
  local f = {}
  local t = 0
  for _ = 1, 200 do
    for i = 2, 32000 do
      f[i] = 1
    end
    local c = 0
    for i = 2, 32000 do
      if f[i] ~= 0 then
        c = c + 1
        for j = i + i, 32000, i do
          f[j] = 0
        end
      end
    end
    t = t + c
  end
  print(t)
end

main()
