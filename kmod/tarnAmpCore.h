/*
 * tarn_amp: the start sequence of the second ARM core, without the kernel.
 *
 * The probe and remove sequences, the image checks, the copy into the
 * on-chip RAM window and the state of CPU1 live here and reach the kernel
 * only through struct tarn_amp_ops.  tarnAmpKernel.c fills the table from
 * the kernel; the user-space tests fill it with recorders.
 */
#ifndef TARN_AMP_CORE_H
#define TARN_AMP_CORE_H

#ifdef __KERNEL__
#include <linux/types.h>
#else
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The on-chip RAM that CPU1 starts from, and the window mapped over it. */
#define TARN_AMP_RAM_PHYS 0xFFFF0000u
#define TARN_AMP_WINDOW_SIZE 0xFFFFu
/* Reset manager register that holds CPU1 in reset (2) or releases it (0). */
#define TARN_AMP_RST_CPU1 0x10u
#define TARN_AMP_RST_HOLD 2u
#define TARN_AMP_RST_RELEASE 0u
#define TARN_AMP_CPU1 1u

/* Where CPU1 is: running Linux, taken offline, held in reset, or running
 * the image from the on-chip RAM. */
enum tarn_amp_cpu1 {
	TARN_CPU1_LINUX,
	TARN_CPU1_OFFLINE,
	TARN_CPU1_RESET,
	TARN_CPU1_IMAGE,
};

/* An image handed out by the firmware loader. */
struct tarn_amp_image {
	const uint8_t *data;
	size_t size;
	void *handle; /* the loader's own handle, for release */
};

/*
 * What the sequences need of the kernel.  Device-tree nodes and devices are
 * opaque; register blocks and windows are the kernel's __iomem pointers,
 * passed as void *.
 */
struct tarn_amp_ops {
	void (*info)(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
	void (*err)(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

	/* Device tree: a node by compatible string (a reference to put), a
	 * 32-bit or string property (0 or a negative error), and the mapping
	 * of a node's first register range. */
	void *(*find_compatible_node)(const char *compatible);
	void (*node_put)(void *node);
	int (*property_read_u32)(void *node, const char *name, uint32_t *value);
	int (*property_read_string)(void *node, const char *name, const char **value);
	void *(*of_iomap)(void *node, int index);

	void *(*ioremap)(uint32_t phys, size_t size);
	void (*iounmap)(void *addr);
	uint32_t (*readl)(void *addr);
	void (*writel)(uint32_t value, void *addr);
	void (*writeb)(uint8_t value, void *addr);

	void (*dsb)(void);            /* data synchronisation barrier */
	void (*dmb)(void);            /* data memory barrier */
	void (*wmb)(void);            /* write barrier with the outer-cache sync */
	void (*v7_flush_kern_cache_all)(void); /* flush of all caches */
	void (*outer_clean_range)(uint32_t start, uint32_t end);

	int (*cpu_down)(unsigned int cpu);
	int (*cpu_up)(unsigned int cpu);

	int (*request_firmware)(struct tarn_amp_image *image, const char *name, void *dev);
	void (*release_firmware)(struct tarn_amp_image *image);
};

/* The module-wide state, in the order of the module's description. */
struct tarn_amp_state {
	uint32_t cpu1start_addr;
	void *sys_manager_base_addr;
	void *rst_manager_base_addr;
	void *clkmgr_base_addr;
	void *sdr_ctl_base_addr;
	void *cpu1start;
	void *MyFirmwareAddr;
	struct tarn_amp_image fw; /* data is NULL when no image is held */

	enum tarn_amp_cpu1 cpu1;
};

/* Reads the device tree and maps the register blocks. */
void sa_sameas_socfpga_sysmgr_init(struct tarn_amp_state *s, const struct tarn_amp_ops *ops);

/* The probe of the device node `node` of device `dev`; always 0. */
int tarn_amp_probe(struct tarn_amp_state *s, const struct tarn_amp_ops *ops, void *node, void *dev);

/* Gives CPU1 back to Linux and unmaps what the probe mapped; always 0. */
int tarn_amp_remove(struct tarn_amp_state *s, const struct tarn_amp_ops *ops);

#ifdef __cplusplus
}
#endif

#endif
