-- The subroutine that the BASIC side reaches with GOSUB adds to a variable of the caller: here it
-- takes the value and gives back the new one, as Lua code keeps its state in locals.
local function add_one(s)
  return s + 1
end

local function f(x)
  return x % 7
end

local function main()
  local s = 0
  for _ = 1, 4000000 do
    s = add_one(s)
  end
  for i = 1, 4000000 do
    s = s + f(i)
  end
  print(s)
end

main()
