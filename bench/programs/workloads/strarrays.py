n = [""] * 2001
t = 0
for r in range(1, 901):
    for i in range(1, 2001):
        n[i] = "K" + str(i * r - int(i * r / 1000) * 1000)
    m = n[1]
    c = 0
    for i in range(2, 2001):
        if n[i] > m:
            m = n[i]
        if n[i][1:2] == "5":
            c = c + 1
    t = t + c + len(m)
print(t)
