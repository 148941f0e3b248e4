s = 0


def sub():
    global s
    s = s + 1


def f(x):
    return x - int(x / 7) * 7


for i in range(1, 4000001):
    sub()
for i in range(1, 4000001):
    s = s + f(i)
print(s)
