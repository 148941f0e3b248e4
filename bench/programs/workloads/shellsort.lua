local function main()
  local n = 2000
  local a = {}
  local s = 0
  local x = 1
  for _ = 1, 120 do
    for i = 1, n do
      x = (x * 75 + 74) % 65537
      a[i] = x
    end
    local g = n // 2
    while g >= 1 do
      for i = g + 1, n do
        local v = a[i]
        local j = i
        while j > g and a[j - g] > v do
          a[j] = a[j - g]
          j = j - g
        end
        a[j] = v
      end
      g = g // 2
    end
    for i = 1, n do
      s = s + a[i] * i
    end
  end
  print(s)
end

main()
