s = 0.0
for i in range(1, 10000001):
    s = s + i * 2 - i / 3
n = s - int(s / 1000000) * 1000000
print(int(n))
