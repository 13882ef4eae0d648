// placeholder until the jbig layer lands; removed by its first real source
