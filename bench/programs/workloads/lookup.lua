local function main()
  local codes, prices, regions = {}, {}, {}
  for i = 1, 400 do
    codes[i] = 13 * i + i * 7 % 11
    prices[i] = i * 53 % 997 + 1
  end
  for i = 1, 12 do
    regions[i] = "R" .. (100 + i * 7)
  end
  local t, u = 0, 0
  for x = 1, 300000 do
    local wanted = "R" .. (100 + (x % 12 + 1) * 7)
    local j = 1
    while regions[j] ~= wanted do
      j = j + 1
    end
    local w = x * 7919 % 5300
    local lo, hi = 1, 400
    local found = false
    while lo <= hi do
      local m = (lo + hi) // 2
      local k = codes[m]
      if k == w then
        t = t + prices[m] * j
        found = true
        break
      end
      if k > w then
        hi = m - 1
      else
        lo = m + 1
      end
    end
    if not found then
      u = u + j
    end
  end
  print(t + u)
end

main()
