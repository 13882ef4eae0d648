// placeholder until the imaging layer lands; removed by its first real source
