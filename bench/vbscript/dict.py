d = {}
for i in range(1, 100001):
    d["key" + str(i)] = i
print(len(d), d["key50000"])
