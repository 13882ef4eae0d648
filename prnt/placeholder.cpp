// placeholder until the prnt layer lands; removed by its first real source
