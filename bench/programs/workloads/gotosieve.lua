local function main()
  local n = 20000
  local f = {}
  local t = 0
  for _ = 1, 100 do
    for i = 2, n do
      f[i] = 1
    end
    local c = 0
    for i = 2, n do
      if f[i] ~= 0 then
        c = c + 1
        for j = i + i, n, i do
          f[j] = 0
        end
      end
    end
    t = t + c
  end
  print(t)
end

main()
