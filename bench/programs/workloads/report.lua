local NAMES = { "ADAMS", "BAKER", "CLARKSON", "DUVAL", "EVANS", "FISCHER", "GARCIA", "HOLLOWAY" }

local format, find = string.format, string.find

-- One record's line and amount in cents, from the record number x.
local function record(x, names)
  local q = x * 7 % 23 + 1
  local a = q * (x * 37 % 9973 + 5)
  local line = format("%06d %-12s%4d%11s", x, names[x % 8 + 1], q, format("%d.%02d", a // 100, a % 100))
  return line, a
end

local function main()
  local names = NAMES
  local t, s, p, k = 0, 0, 0, 0
  for x = 1, 500000 do
    local line, a = record(x, names)
    s = s + a
    t = t + #line + (find(line, "9", 1, true) or 0)
    k = k + 1
    if k == 60 then
      p = p + 1
      t = t + #format("PAGE %d", p)
      k = 0
    end
  end
  print(t + s)
end

main()
