/*
 * tarn_amp: takes CPU1 away from Linux, copies the firmware image named by
 * the device tree into the on-chip RAM and starts CPU1 there.  Kernel-free:
 * everything of the kernel is reached through struct tarn_amp_ops.
 */
#include "tarnAmpCore.h"

/* Addresses are printed as 32-bit values, as on the 32-bit board. */
static uint32_t addr32(const void *p)
{
	return (uint32_t)(uintptr_t)p;
}

static void *map_first_range(const struct tarn_amp_ops *ops, void *node)
{
	return node ? ops->of_iomap(node, 0) : NULL;
}

static void *map_node(const struct tarn_amp_ops *ops, const char *compatible)
{
	void *node = ops->find_compatible_node(compatible);
	void *base = map_first_range(ops, node);

	if (node)
		ops->node_put(node);
	return base;
}

void sa_sameas_socfpga_sysmgr_init(struct tarn_amp_state *s, const struct tarn_amp_ops *ops)
{
	void *node;

	ops->info("Initialize CycloneV registers...\n");
	node = ops->find_compatible_node("altr,sys-mgr");
	/* An address of 0 stands for a missing property: nothing is ever
	 * mapped or written at physical address 0. */
	if (!node || ops->property_read_u32(node, "cpu1-start-addr", &s->cpu1start_addr) != 0 ||
	    s->cpu1start_addr == 0) {
		s->cpu1start_addr = 0;
		ops->err("SMP: Need cpu1-start-addr in device tree.\n");
	}
	s->sys_manager_base_addr = map_first_range(ops, node);
	if (node)
		ops->node_put(node);
	s->rst_manager_base_addr = map_node(ops, "altr,rst-mgr");
	s->clkmgr_base_addr = map_node(ops, "altr,clk-mgr");
	s->sdr_ctl_base_addr = map_node(ops, "altr,sdr-ctl");
}

static void release_image(struct tarn_amp_state *s, const struct tarn_amp_ops *ops)
{
	ops->release_firmware(&s->fw);
	s->fw.data = NULL;
	s->fw.size = 0;
	s->fw.handle = NULL;
}

/* Copies the image named by the node's "firmware" property to the start of
 * the window.  An image that does not fit is refused whole: a cut image
 * would run as garbage. */
static void load_image(struct tarn_amp_state *s, const struct tarn_amp_ops *ops, void *node, void *dev)
{
	const char *name = NULL;
	uint8_t *window = (uint8_t *)s->MyFirmwareAddr;
	size_t i;

	if (!node || ops->property_read_string(node, "firmware", &name) != 0 || !name) {
		ops->info("Firmware property not found\n");
		return;
	}
	ops->info("Firmware <%s> will be loaded.\n", name);
	if (!window) {
		ops->err("TarnAMP: firmware window not mapped, firmware not copied\n");
		return;
	}
	if (ops->request_firmware(&s->fw, name, dev) != 0 || !s->fw.data) {
		s->fw.data = NULL;
		s->fw.size = 0;
		s->fw.handle = NULL;
		ops->info("Error while loading firmware.\n");
		return;
	}
	if (s->fw.size > TARN_AMP_WINDOW_SIZE) {
		ops->err("TarnAMP: firmware <%s> has %u bytes, more than the 0x%X-byte window; not loaded\n",
			 name, (unsigned int)s->fw.size, TARN_AMP_WINDOW_SIZE);
		release_image(s, ops);
		return;
	}
	ops->info("Copy firmware into RAM\n");
	for (i = 0; i < s->fw.size; i++)
		ops->writeb(s->fw.data[i], window + i);
	release_image(s, ops);
}

static void set_reset(struct tarn_amp_state *s, const struct tarn_amp_ops *ops, uint32_t value)
{
	ops->writel(value, (uint8_t *)s->rst_manager_base_addr + TARN_AMP_RST_CPU1);
	s->cpu1 = value == TARN_AMP_RST_HOLD ? TARN_CPU1_RESET : TARN_CPU1_IMAGE;
}

/* Holds CPU1 in reset, points it at the on-chip RAM and releases it twice:
 * once for a pass through Linux's own secondary start-up, then for good. */
static void start_cpu1(struct tarn_amp_state *s, const struct tarn_amp_ops *ops)
{
	int ret;

	ops->info("TarnAMP: Prepare to JUMP\n");
	ops->wmb();
	set_reset(s, ops, TARN_AMP_RST_HOLD);
	ops->writel(TARN_AMP_RAM_PHYS, s->cpu1start);
	ops->v7_flush_kern_cache_all();
	ops->dmb();
	ops->outer_clean_range(TARN_AMP_RAM_PHYS, TARN_AMP_RAM_PHYS + TARN_AMP_WINDOW_SIZE);
	ops->info("TarnAMP: jump to %08X\n", ops->readl(s->cpu1start));
	ops->wmb();
	set_reset(s, ops, TARN_AMP_RST_RELEASE);

	if (ops->cpu_up(TARN_AMP_CPU1) >= 0)
		s->cpu1 = TARN_CPU1_LINUX;
	ret = ops->cpu_down(TARN_AMP_CPU1);
	ops->wmb();
	if (ret < 0) {
		s->cpu1 = TARN_CPU1_LINUX;
		ops->err("TarnAMP: cpu_down(1) = %i, CPU1 runs Linux and is not started\n", ret);
		return;
	}
	s->cpu1 = TARN_CPU1_OFFLINE;

	set_reset(s, ops, TARN_AMP_RST_HOLD);
	ops->writel(TARN_AMP_RAM_PHYS, s->cpu1start);
	ops->v7_flush_kern_cache_all();
	ops->dmb();
	ops->wmb();
	set_reset(s, ops, TARN_AMP_RST_RELEASE);
}

int tarn_amp_probe(struct tarn_amp_state *s, const struct tarn_amp_ops *ops, void *node, void *dev)
{
	int ret;

	ops->info("TarnAMP : PROBE\n");
	sa_sameas_socfpga_sysmgr_init(s, ops);

	s->cpu1start = s->cpu1start_addr ? ops->ioremap(s->cpu1start_addr, 4) : NULL;
	ops->info("socfpga_cpu1start_addr = 0x%08X\n", s->cpu1start_addr);
	ops->info("cpu1start = 0x%08X\n", addr32(s->cpu1start));
	ops->info("sys_manager_base_addr = 0x%08X\n", addr32(s->sys_manager_base_addr));
	ops->info("rst_manager_base_addr = 0x%08X\n", addr32(s->rst_manager_base_addr));
	ops->info("sdr_ctl_base_addr = 0x%08X\n", addr32(s->sdr_ctl_base_addr));
	if (s->cpu1start) {
		ops->info("cpu1start value = 0x%08X\n", ops->readl(s->cpu1start));
		ops->dsb();
		ops->info("cpu1start value = 0x%08X\n", ops->readl(s->cpu1start));
	}

	/* A negative result leaves CPU1 running Linux: holding it in reset
	 * then would hang the kernel.  A positive one means it was already
	 * offline. */
	ret = ops->cpu_down(TARN_AMP_CPU1);
	ops->info("cpu_down(1) = %i\n", ret);
	if (ret < 0)
		ops->err("TarnAMP: CPU1 still runs Linux, it is not started\n");
	else
		s->cpu1 = TARN_CPU1_OFFLINE;

	s->MyFirmwareAddr = ops->ioremap(TARN_AMP_RAM_PHYS, TARN_AMP_WINDOW_SIZE);
	ops->info("Physical Addr 0x%08X = Virtual 0x%08X\n", TARN_AMP_RAM_PHYS, addr32(s->MyFirmwareAddr));

	load_image(s, ops, node, dev);

	if (!s->cpu1start || ret < 0)
		return 0;
	if (!s->rst_manager_base_addr) {
		ops->err("TarnAMP: reset manager not mapped, CPU1 not started\n");
		return 0;
	}
	start_cpu1(s, ops);
	return 0;
}

static void unmap(const struct tarn_amp_ops *ops, void **addr)
{
	if (*addr)
		ops->iounmap(*addr);
	*addr = NULL;
}

int tarn_amp_remove(struct tarn_amp_state *s, const struct tarn_amp_ops *ops)
{
	ops->info("TarnAMP : REMOVE\n");
	if (ops->cpu_up(TARN_AMP_CPU1) >= 0)
		s->cpu1 = TARN_CPU1_LINUX;
	unmap(ops, &s->MyFirmwareAddr);
	unmap(ops, &s->cpu1start);
	unmap(ops, &s->sdr_ctl_base_addr);
	unmap(ops, &s->clkmgr_base_addr);
	unmap(ops, &s->rst_manager_base_addr);
	unmap(ops, &s->sys_manager_base_addr);
	s->cpu1start_addr = 0;
	return 0;
}
