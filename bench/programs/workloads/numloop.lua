local function main()
  local s = 0.0
  for i = 1, 10000000 do
    s = s + i * 2 - i / 3
  end
  local n = s - (s // 1000000) * 1000000
  print(math.tointeger(n // 1))
end

main()
