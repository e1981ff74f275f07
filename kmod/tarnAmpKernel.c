/*
 * tarn_amp: the kernel side.  The platform driver, its device-tree match and
 * the table of kernel operations the start sequence (tarnAmpCore.c) runs on.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/platform_device.h>
#include <linux/of.h>
#include <linux/of_address.h>
#include <linux/io.h>
#include <linux/firmware.h>
#include <linux/printk.h>

#include "tarnAmpCompat.h"
#include "tarnAmpCore.h"

MODULE_DESCRIPTION("Tarn AMP System module");
MODULE_VERSION("0");
MODULE_LICENSE("GPL v2");

static struct tarn_amp_state tarn_amp;

static __printf(1, 2) void ops_info(const char *fmt, ...)
{
	struct va_format vaf;
	va_list args;

	va_start(args, fmt);
	vaf.fmt = fmt;
	vaf.va = &args;
	printk(KERN_INFO "%pV", &vaf);
	va_end(args);
}

static __printf(1, 2) void ops_err(const char *fmt, ...)
{
	struct va_format vaf;
	va_list args;

	va_start(args, fmt);
	vaf.fmt = fmt;
	vaf.va = &args;
	printk(KERN_ERR "%pV", &vaf);
	va_end(args);
}

static void *ops_find_compatible_node(const char *compatible)
{
	return of_find_compatible_node(NULL, NULL, compatible);
}

static void ops_node_put(void *node)
{
	of_node_put(node);
}

static int ops_property_read_u32(void *node, const char *name, uint32_t *value)
{
	return of_property_read_u32(node, name, value);
}

static int ops_property_read_string(void *node, const char *name, const char **value)
{
	return of_property_read_string(node, name, value);
}

static void *ops_of_iomap(void *node, int index)
{
	return (void __force *)of_iomap(node, index);
}

static void *ops_ioremap(uint32_t phys, size_t size)
{
	return (void __force *)ioremap(phys, size);
}

static void ops_iounmap(void *addr)
{
	iounmap((void __iomem __force *)addr);
}

static uint32_t ops_readl(void *addr)
{
	return readl((void __iomem __force *)addr);
}

static void ops_writel(uint32_t value, void *addr)
{
	writel(value, (void __iomem __force *)addr);
}

static void ops_writeb(uint8_t value, void *addr)
{
	writeb(value, (void __iomem __force *)addr);
}

static void ops_dsb(void)
{
	tarn_dsb();
}

static void ops_dmb(void)
{
	tarn_dmb();
}

static void ops_wmb(void)
{
	tarn_wmb();
}

static void ops_flush_cache_all(void)
{
	tarn_flush_cache_all();
}

static void ops_outer_clean_range(uint32_t start, uint32_t end)
{
	tarn_outer_clean_range(start, end);
}

static int ops_cpu_down(unsigned int cpu)
{
	return tarn_cpu_down(cpu);
}

static int ops_cpu_up(unsigned int cpu)
{
	return tarn_cpu_up(cpu);
}

static int ops_request_firmware(struct tarn_amp_image *image, const char *name, void *dev)
{
	const struct firmware *fw = NULL;
	int ret = request_firmware(&fw, name, dev);

	if (ret)
		return ret;
	image->data = fw->data;
	image->size = fw->size;
	image->handle = (void *)fw;
	return 0;
}

static void ops_release_firmware(struct tarn_amp_image *image)
{
	release_firmware(image->handle);
}

static const struct tarn_amp_ops tarn_amp_kernel_ops = {
	.info = ops_info,
	.err = ops_err,
	.find_compatible_node = ops_find_compatible_node,
	.node_put = ops_node_put,
	.property_read_u32 = ops_property_read_u32,
	.property_read_string = ops_property_read_string,
	.of_iomap = ops_of_iomap,
	.ioremap = ops_ioremap,
	.iounmap = ops_iounmap,
	.readl = ops_readl,
	.writel = ops_writel,
	.writeb = ops_writeb,
	.dsb = ops_dsb,
	.dmb = ops_dmb,
	.wmb = ops_wmb,
	.v7_flush_kern_cache_all = ops_flush_cache_all,
	.outer_clean_range = ops_outer_clean_range,
	.cpu_down = ops_cpu_down,
	.cpu_up = ops_cpu_up,
	.request_firmware = ops_request_firmware,
	.release_firmware = ops_release_firmware,
};

static int sa_probe(struct platform_device *pdev)
{
	return tarn_amp_probe(&tarn_amp, &tarn_amp_kernel_ops, pdev->dev.of_node, &pdev->dev);
}

static int sa_remove(struct platform_device *pdev)
{
	return tarn_amp_remove(&tarn_amp, &tarn_amp_kernel_ops);
}

static const struct of_device_id tarn_amp_match[] = {
	{ .compatible = "altr,tarn_amp" },
	{}
};
MODULE_DEVICE_TABLE(of, tarn_amp_match);

static struct platform_driver tarn_amp_diver = {
	.probe = sa_probe,
	.remove = sa_remove,
	.driver = {
		.name = "tarn_amp",
		.of_match_table = tarn_amp_match,
	},
};

static int __init tarn_amp_diver_init(void)
{
	return platform_driver_register(&tarn_amp_diver);
}

static void __exit tarn_amp_diver_exit(void)
{
	platform_driver_unregister(&tarn_amp_diver);
}

module_init(tarn_amp_diver_init);
module_exit(tarn_amp_diver_exit);
