c = 0
for i in range(1, 1000001):
    a = "AB" + chr(65 + i - int(i / 26) * 26)
    b = a + str(i - int(i / 10) * 10)
    c = c + len(b) + b.find("B") + 1
    if b[2:3] == "C":
        c = c + 1
    c = c + float(b[3:4])
print(int(c))
