local function main()
  local n = 5000
  local a, b, c, x = {}, {}, {}, {}
  for i = 0, n do
    a[i] = i % 13
    b[i] = i % 7
  end
  local t = 0.0
  for r = 1, 1600 do
    for i = 0, n do c[i] = a[i] + b[i] end
    for i = 0, n do c[i] = 2 * c[i] end
    for i = 0, n do x[i] = c[i] - a[i] end
    for i = 0, n do a[i] = x[i] end
    local s = 0
    for i = 0, n do s = s + c[i] end
    t = t + a[r] + s / 1000
  end
  print(math.tointeger(t // 1))
end

main()
